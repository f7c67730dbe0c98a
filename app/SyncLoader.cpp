#include "SyncLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

QString SyncLoader::fileName()
{
    return QStringLiteral("tolva-sync.so");
}

QStringList SyncLoader::candidates()
{
    if (const QString named = qEnvironmentVariable("TOLVA_SYNC_MODULE"); !named.isEmpty())
        return {named};
    // Beside the program in a build tree; where the installation put it, relative to the program, wherever
    // the installation went. Never a fixed path: a module of another build would run against objects laid
    // out differently.
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {
        programDir.filePath(fileName()),
        QDir::cleanPath(programDir.filePath(QStringLiteral(TOLVA_MODULEDIR_FROM_BINDIR "/") + fileName()))};
}

QString SyncLoader::found()
{
    for (const QString& path : candidates()) {
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

void SyncLoader::preload()
{
    if (const QString path = found(); !path.isEmpty())
        QLibrary(path).load();
}

SyncService* SyncLoader::create(const SyncService::Host& host, QString& error)
{
    const QString path = found();
    if (path.isEmpty()) {
        error = QCoreApplication::translate("SyncLoader",
                                            "The calendar sync module is not installed (looked for %1).")
                    .arg(QDir::toNativeSeparators(candidates().join(QStringLiteral(", "))));
        return nullptr;
    }
    // Never unloaded: the service and the widgets it makes live until the frame goes.
    QLibrary library(path);
    auto factory = reinterpret_cast<SyncServiceFactory>(library.resolve(kSyncServiceFactoryName));
    if (!factory) {
        error = QCoreApplication::translate("SyncLoader", "The calendar sync module %1 does not load: %2")
                    .arg(QDir::toNativeSeparators(path), library.errorString());
        return nullptr;
    }
    if (SyncService* service = factory(TOLVA_VERSION, host))
        return service;
    error = QCoreApplication::translate("SyncLoader",
                                        "The calendar sync module %1 belongs to another version of Tolva.")
                .arg(QDir::toNativeSeparators(path));
    return nullptr;
}
