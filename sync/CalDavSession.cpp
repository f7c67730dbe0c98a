#include "CalDavSession.h"

#include "Calendar.h"
#include "DataStore.h"
#include "DurableFile.h"
#include "PublishState.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTextStream>

namespace {

const QCommandLineOption kDir(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kUrl(QStringLiteral("url"), QString(), QStringLiteral("URL"));
const QCommandLineOption kUser(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kForce(QStringLiteral("force"));
const QCommandLineOption kReplace(QStringLiteral("replace"));
const QCommandLineOption kPrefer(QStringLiteral("prefer"), QString(), QStringLiteral("SIDE"));
const QCommandLineOption kCaFile(QStringLiteral("ca-file"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kConnections(QStringLiteral("connections"), QString(), QStringLiteral("N"));
const QCommandLineOption kInsecureHttp(QStringLiteral("insecure-http"));
const QCommandLineOption kVerbose(QStringLiteral("verbose"));

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
    if (!result.ok())
        error = QStringLiteral("%1: %2").arg(path, result.reason.isEmpty() ? result.message : result.reason);
    return result.ok();
}

} // namespace

bool CalDavSession::parseOptions(const QStringList& args, Command command, Options& o, QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kDir, kUser, kInsecureHttp, kVerbose, kCaFile, kConnections});
    if (command == Command::Publish)
        parser.addOption(kForce);
    else
        parser.addOptions({kReplace, kPrefer});
    if (command != Command::Pull)
        parser.addOption(kUrl);
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    const QStringList positional = parser.positionalArguments();
    const int wanted = command == Command::Pull ? 2 : 1;
    if (positional.size() != wanted) {
        error = positional.size() < wanted ? QStringLiteral("missing arguments")
                                           : QStringLiteral("too many arguments");
        return false;
    }
    if (command != Command::Pull && !parser.isSet(kUrl)) {
        error = QStringLiteral("--url URL is missing");
        return false;
    }
    bool ok = false;
    o.year = positional.constLast().toInt(&ok);
    if (!ok || o.year < Calendar::kFirstYear || o.year > Calendar::kLastYear) {
        error = QStringLiteral("YEAR must be a year from 1 to 9999");
        return false;
    }
    if (command != Command::Publish && parser.isSet(kPrefer)) {
        const QString side = parser.value(kPrefer);
        if (side != QLatin1String("planner") && side != QLatin1String("server")) {
            error = QStringLiteral("--prefer takes planner or server");
            return false;
        }
        o.preferServer = side == QLatin1String("server");
    }
    if (parser.isSet(kConnections)) {
        o.connections = parser.value(kConnections).toInt(&ok);
        if (!ok || o.connections < 1 || o.connections > CalDavClient::kMaxConnections) {
            error = QStringLiteral("--connections takes a number from 1 to %1")
                        .arg(CalDavClient::kMaxConnections);
            return false;
        }
    }
    o.url = QUrl(command == Command::Pull ? positional.constFirst() : parser.value(kUrl), QUrl::StrictMode);
    o.dir = parser.isSet(kDir) ? parser.value(kDir) : QDir::currentPath();
    o.user = parser.value(kUser);
    o.force = command == Command::Publish && parser.isSet(kForce);
    o.replace = command != Command::Publish && parser.isSet(kReplace);
    o.insecureHttp = parser.isSet(kInsecureHttp);
    o.verbose = parser.isSet(kVerbose);
    o.caFileGiven = parser.isSet(kCaFile);
    if (o.caFileGiven && !parser.value(kCaFile).isEmpty())
        o.caFile = QFileInfo(parser.value(kCaFile)).absoluteFilePath();
    return true;
}

bool CalDavSession::open(QString& error, const QString& nothing, int timeoutMs, QTextStream* log)
{
    if (!CalDavAccount::checkUrl(o.url, o.insecureHttp, error) || !account.resolve(o.url, o.user, error))
        return false;
    collection = CalDavClient::collectionUrl(o.url);
    shownUrl = collection.toDisplayString();
    const QString key = accountKey(collection, account.user());
    if (o.caFileGiven) {
        if (!rememberCaFile(key, o.caFile, error))
            return false;
    } else {
        o.caFile = readAccounts().value(key).toObject().value(QStringLiteral("caFile")).toString();
    }
    client = std::make_unique<CalDavClient>(account.authorization());
    client->setTimeout(timeoutMs);
    client->setConnections(o.connections);
    if (log)
        client->setLog([log](const QString& line) {
            *log << line << '\n';
            log->flush();
        });
    if (!client->trust(o.caFile, error)) {
        error += QStringLiteral(". Nothing was %1.").arg(nothing);
        return false;
    }

    reader = std::make_unique<YearReader>(o.dir);
    lock = std::make_unique<DataFolderLock>(reader->yearsDir());
    switch (lock->tryLock()) {
    case DataFolderLock::Status::Locked:
        break;
    case DataFolderLock::Status::InUse:
        error = QStringLiteral("a planner is working on %1%2; close it first. Nothing was %3.")
                    .arg(QDir::toNativeSeparators(reader->yearsDir()),
                         lock->holderPid() > 0 ? QStringLiteral(" (process %1)").arg(lock->holderPid())
                                               : QString(),
                         nothing);
        return false;
    case DataFolderLock::Status::Failed:
    case DataFolderLock::Status::Unlocked:
        error = QStringLiteral("%1 Nothing was %2.").arg(lock->message(), nothing);
        return false;
    }
    statePath = QDir(reader->yearsDir()).filePath(PublishState::fileName(o.year));
    return true;
}
