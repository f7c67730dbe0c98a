#include "CalDavSession.h"

#include "DataStore.h"
#include "DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

// The certificate authority file of each account (server and user), remembered from --ca-file so that
// the next run of any command trusts the same server. Not a secret: a path.
QString accountsPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("tolva/caldav-accounts.json"));
}

QString accountKey(const QUrl& url, const QString& user)
{
    return QStringLiteral("%1://%2@%3:%4")
        .arg(url.scheme().toLower(), user, url.host().toLower())
        .arg(url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80));
}

QJsonObject readAccounts()
{
    QFile file(accountsPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.read(1 << 20)).object();
}

bool rememberCaFile(const QString& key, const QString& caFile, QString& error)
{
    QJsonObject accounts = readAccounts();
    if (caFile.isEmpty())
        accounts.remove(key);
    else
        accounts.insert(key, QJsonObject{{QStringLiteral("caFile"), caFile}});
    const QString path = accountsPath();
    QDir().mkpath(QFileInfo(path).path());
    const StoreResult result =
        DurableFile::write(path, QJsonDocument(accounts).toJson(QJsonDocument::Indented));
    if (!result.ok()) {
        error = QStringLiteral("%1: %2").arg(path, result.reason.isEmpty() ? result.message : result.reason);
        return false;
    }
    // Which servers and users the owner has is the owner's business.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

} // namespace

bool CalDavSession::open(QString& error, const QString& nothing, int timeoutMs)
{
    if (!CalDavAccount::checkUrl(o.url, o.insecureHttp, error))
        return false;
    if (!o.password.isEmpty())
        account.set(o.user, o.password);
    else if (!account.resolve(o.url, o.user, error))
        return false;
    collection = CalDavClient::collectionUrl(o.url);
    shownUrl = collection.toDisplayString();
    const QString key = accountKey(collection, account.user());
    if (!o.caFileGiven && o.caFile.isEmpty())
        o.caFile = readAccounts().value(key).toObject().value(QStringLiteral("caFile")).toString();
    client = std::make_unique<CalDavClient>(account.authorization());
    client->setTimeout(timeoutMs);
    client->setConnections(o.connections);
    // The certificate stores are read only for https: loading them costs more than a quiet sync.
    const bool secure = collection.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    if (secure && !client->trust(o.caFile, error)) {
        error += QStringLiteral(". Nothing was %1.").arg(nothing);
        return false;
    }
    // Remembered once it gave a certificate: a file that fails is never carried into the next run.
    return !o.caFileGiven || rememberCaFile(key, o.caFile, error);
}
