#include "SyncAccount.h"

#include "DurableFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

const QString kUrl = QStringLiteral("url");
const QString kUser = QStringLiteral("user");
const QString kCaFile = QStringLiteral("caFile");
const QString kRemember = QStringLiteral("rememberPassword");
const QString kAutomatic = QStringLiteral("syncAutomatically");

} // namespace

QString SyncAccount::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("tolva/account.json"));
}

QByteArray SyncAccount::toJson() const
{
    return QJsonDocument(QJsonObject{{kUrl, m_url.toString(QUrl::FullyEncoded)},
                                     {kUser, m_user},
                                     {kCaFile, m_caFile},
                                     {kRemember, m_remembersPassword},
                                     {kAutomatic, m_syncsAutomatically}})
        .toJson(QJsonDocument::Indented);
}

bool SyncAccount::fromJson(const QByteArray& json, QString& error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        error = doc.isNull() ? QStringLiteral("damaged at byte %1: %2")
                                   .arg(parseError.offset)
                                   .arg(parseError.errorString())
                             : QStringLiteral("damaged: not a JSON object");
        return false;
    }
    const QJsonObject o = doc.object();
    const QUrl url(o.value(kUrl).toString(), QUrl::StrictMode);
    if (!o.value(kUrl).isString() || (!url.isEmpty() && !url.isValid()) || !o.value(kUser).isString()) {
        error = QStringLiteral("damaged: no valid \"url\" and \"user\"");
        return false;
    }
    *this = SyncAccount();
    m_url = url;
    m_user = o.value(kUser).toString();
    m_caFile = o.value(kCaFile).toString();
    m_remembersPassword = o.value(kRemember).toBool(true);
    m_syncsAutomatically = o.value(kAutomatic).toBool(false);
    return true;
}

bool SyncAccount::load(const QString& path, QString& error)
{
    QByteArray bytes;
    QString reason;
    switch (DurableFile::read(path, kMaxFileSize, bytes, reason)) {
    case DurableFile::Read::Missing:
        *this = SyncAccount();
        return true;
    case DurableFile::Read::Done:
        if (fromJson(bytes, reason))
            return true;
        break;
    case DurableFile::Read::Failed:
    case DurableFile::Read::TooLarge:
        break;
    }
    error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

bool SyncAccount::save(const QString& path, QString& error) const
{
    QByteArray old;
    QString reason;
    SyncAccount previous;
    // What the user once set is never overwritten unread: a damaged file goes aside first, renamed, so that
    // it keeps its mode.
    if (DurableFile::read(path, kMaxFileSize, old, reason) == DurableFile::Read::Done &&
        !previous.fromJson(old, reason) && DurableFile::moveAside(path, reason).isEmpty()) {
        error = QStringLiteral("%1 is damaged and could not be kept aside: %2")
                    .arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        error = QStringLiteral("%1: the folder cannot be made").arg(QFileInfo(path).path());
        return false;
    }
    const StoreResult result = DurableFile::write(path, toJson(), kFileMode);
    if (!result.ok()) {
        error = result.message;
        return false;
    }
    return true;
}
