#include "CalDavSync.h"

#include "CalDavClient.h"
#include "CalDavSession.h"
#include "Calendar.h"
#include "CommandLock.h"
#include "DataFolderLock.h"
#include "FolderYear.h"
#include "PublishEngine.h"
#include "SyncAccount.h"
#include "SyncEngine.h"
#include "SyncResult.h"
#include "SyncSink.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

// The command line of publish, sync and pull.
struct Parsed
{
    CalDavSession::Options o;
    bool allowMassDeletion = false;
};

namespace {

enum class Command { Publish, Pull, Sync };

const QCommandLineOption kDir(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kUrl(QStringLiteral("url"), QString(), QStringLiteral("URL"));
const QCommandLineOption kUser(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kForce(QStringLiteral("force"));
const QCommandLineOption kReplace(QStringLiteral("replace"));
const QCommandLineOption kPrefer(QStringLiteral("prefer"), QString(), QStringLiteral("SIDE"));
const QCommandLineOption kCaFile(QStringLiteral("ca-file"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kConnections(QStringLiteral("connections"), QString(), QStringLiteral("N"));
const QCommandLineOption kAllowMassDeletion(QStringLiteral("allow-mass-deletion"));
const QCommandLineOption kInsecureHttp(QStringLiteral("insecure-http"));
const QCommandLineOption kVerbose(QStringLiteral("verbose"));

// The report as the command prints it: the word in a column of ten, then what it is about.
class TextSink : public SyncSink
{
public:
    TextSink(QTextStream& out, QTextStream& err, const QString& conflictAdvice)
        : m_out(out), m_err(err), m_conflictAdvice(conflictAdvice)
    {
    }
    void line(const QString& word, const QString& text) override
    {
        m_out << QStringLiteral("%1").arg(word, -9) << ' ' << text
              << (word == QLatin1String("conflict") ? m_conflictAdvice : QString()) << '\n';
    }
    void warning(const QString& text) override { m_err << QStringLiteral("tolva-cli: ") << text << '\n'; }

private:
    QTextStream& m_out;
    QTextStream& m_err;
    QString m_conflictAdvice;
};

// A URL is taken strictly, so that a typing slip is named instead of guessed at.
bool parseUrl(const QString& text, QUrl& url, QString& error)
{
    url = QUrl(text, QUrl::StrictMode);
    if (url.isValid())
        return true;
    error = text.contains(QLatin1Char(' '))
                ? QStringLiteral("'%1' is not a URL: a space in it must be written %20").arg(text)
                : QStringLiteral("'%1' is not a URL: %2").arg(text, url.errorString());
    return false;
}

bool parseOptions(const QStringList& args, Command command, Parsed& p, QString& error)
{
    CalDavSession::Options& o = p.o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kDir, kUser, kInsecureHttp, kVerbose, kCaFile, kConnections});
    if (command == Command::Publish)
        parser.addOption(kForce);
    else
        parser.addOptions({kReplace, kPrefer, kAllowMassDeletion});
    if (command != Command::Pull)
        parser.addOption(kUrl);
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    const QStringList positional = parser.positionalArguments();
    // pull takes its URL first, or from the account like the others.
    const int wanted = command == Command::Pull && positional.size() != 1 ? 2 : 1;
    if (positional.size() != wanted) {
        error = positional.size() < wanted ? QStringLiteral("missing arguments")
                                           : QStringLiteral("too many arguments");
        return false;
    }
    const bool urlGiven = command == Command::Pull ? wanted == 2 : parser.isSet(kUrl);
    SyncAccount account;
    if (!urlGiven && !account.load(SyncAccount::defaultPath(), error))
        return false;
    if (!urlGiven && !account.isSet()) {
        error = QStringLiteral("no URL: give %1, or set the account with 'tolva-cli account set --url URL "
                               "--user NAME'")
                    .arg(command == Command::Pull ? QStringLiteral("URL") : QStringLiteral("--url URL"));
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
    if (!urlGiven)
        o.url = account.url();
    else if (!parseUrl(command == Command::Pull ? positional.constFirst() : parser.value(kUrl), o.url, error))
        return false;
    o.dir = parser.isSet(kDir) ? parser.value(kDir) : QDir::currentPath();
    o.user = parser.isSet(kUser) || urlGiven ? parser.value(kUser) : account.user();
    o.force = command == Command::Publish && parser.isSet(kForce);
    o.replace = command != Command::Publish && parser.isSet(kReplace);
    p.allowMassDeletion = command != Command::Publish && parser.isSet(kAllowMassDeletion);
    o.insecureHttp = parser.isSet(kInsecureHttp);
    o.verbose = parser.isSet(kVerbose);
    o.caFileGiven = parser.isSet(kCaFile);
    if (o.caFileGiven && !parser.value(kCaFile).isEmpty())
        o.caFile = QFileInfo(parser.value(kCaFile)).absoluteFilePath();
    if (!urlGiven && !o.caFileGiven && !account.caFile().isEmpty()) {
        o.caFileGiven = true;
        o.caFile = account.caFile();
    }
    return true;
}

} // namespace

CalDavSync::CalDavSync(QTextStream& out, QTextStream& err)
    : m_out(out), m_err(err), m_timeoutMs(CalDavClient::kDefaultTimeoutMs)
{
}

int CalDavSync::fail(const QString& message)
{
    m_out.flush();
    m_err << QStringLiteral("tolva-cli: ") << message << '\n';
    m_err.flush();
    return 1;
}

int CalDavSync::usage(const QString& message, const char* command)
{
    m_err
        << QStringLiteral("tolva-cli: %1 (see 'tolva-cli %2 --help')\n").arg(message, QLatin1String(command));
    m_err.flush();
    return 2;
}

int CalDavSync::finish(const SyncResult& result, const QString& advice)
{
    m_out.flush();
    if (!result.error.isEmpty())
        return fail(result.error + advice);
    if (result.failures.isEmpty())
        return 0;
    return fail(result.failures.size() == 1 ? result.failures.constFirst()
                                            : QStringLiteral("%1 (and %2 more requests failed)")
                                                  .arg(result.failures.constFirst())
                                                  .arg(result.failures.size() - 1));
}

// The account and its client, then the folder's lock.
bool CalDavSync::open(CalDavSession& session, const Parsed& p, DataFolderLock& lock, const QString& yearsDir,
                      const QString& nothing, QString& error)
{
    session.o = p.o;
    if (!session.open(error, nothing, m_timeoutMs))
        return false;
    if (session.o.verbose)
        session.client->setLog([this](const QString& line) {
            m_err << line << '\n';
            m_err.flush();
        });
    return lockForCommand(lock, yearsDir, nothing, true, error);
}

int CalDavSync::publish(const QStringList& args)
{
    Parsed p;
    QString error;
    if (!parseOptions(args, Command::Publish, p, error))
        return usage(error, "publish");
    CalDavSession session;
    FolderYear year(p.o.dir, p.o.year);
    DataFolderLock lock(year.yearsDir());
    if (!open(session, p, lock, year.yearsDir(), QStringLiteral("published"), error))
        return fail(error);
    TextSink sink(m_out, m_err, QStringLiteral(" (--force replaces it)"));
    const SyncResult r = PublishEngine(*session.client, session.collection, year, sink).run(session.o.force);
    if (!r.error.isEmpty())
        return finish(r, QString());
    m_out << QStringLiteral("%1 added, %2 changed, %3 removed").arg(r.added).arg(r.changed).arg(r.removed);
    if (r.conflicts > 0)
        m_out << QStringLiteral(", %1 left alone").arg(r.conflicts);
    m_out << '\n';
    if (!r.failures.isEmpty() || r.conflicts == 0)
        return finish(r, QString());
    return fail(
        QStringLiteral("%1: %2 of our events changed on the server were left alone; --force replaces them")
            .arg(session.shownUrl)
            .arg(r.conflicts));
}

int CalDavSync::sync(const QStringList& args)
{
    return twoWay(args, true);
}

int CalDavSync::pull(const QStringList& args)
{
    return twoWay(args, false);
}

int CalDavSync::twoWay(const QStringList& args, bool outgoing)
{
    Parsed p;
    QString error;
    if (!parseOptions(args, outgoing ? Command::Sync : Command::Pull, p, error))
        return usage(error, outgoing ? "sync" : "pull");
    const QString nothing = outgoing ? QStringLiteral("synced") : QStringLiteral("imported");
    CalDavSession session;
    FolderYear year(p.o.dir, p.o.year);
    DataFolderLock lock(year.yearsDir());
    if (!open(session, p, lock, year.yearsDir(), nothing, error))
        return fail(error);

    SyncEngine::Options options;
    options.mode = outgoing ? SyncEngine::Mode::Sync : SyncEngine::Mode::Pull;
    options.prefer = session.o.preferServer ? SyncDecision::Prefer::Server : SyncDecision::Prefer::Planner;
    options.replace = session.o.replace;
    options.allowMassDeletion = p.allowMassDeletion;
    TextSink sink(m_out, m_err, QString());
    const SyncResult r = SyncEngine(*session.client, session.collection, year, sink).run(options);
    if (!r.error.isEmpty())
        return finish(r, r.massDeletion ? QStringLiteral(" --allow-mass-deletion goes on all the same.")
                                        : QString());
    if (outgoing)
        m_out << QStringLiteral("%1 added, %2 changed, %3 removed on the server; ")
                     .arg(r.added)
                     .arg(r.changed)
                     .arg(r.removed);
    m_out << QStringLiteral("%1 taken in, %2 removed, %3 red days added here")
                 .arg(r.takenIn)
                 .arg(r.removedHere)
                 .arg(r.redDays);
    if (r.conflicts > 0)
        m_out << QStringLiteral("; %1 conflicts").arg(r.conflicts);
    if (r.left > 0)
        m_out << QStringLiteral("; %1 left on the server").arg(r.left);
    m_out << '\n';
    return finish(r, QString());
}
