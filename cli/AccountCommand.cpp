#include "AccountCommand.h"

#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "SyncAccount.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

const QCommandLineOption kDir(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kUrl(QStringLiteral("url"), QString(), QStringLiteral("URL"));
const QCommandLineOption kUser(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kCaFile(QStringLiteral("ca-file"), QString(), QStringLiteral("FILE"));

QString sourceName(const CalDavAccount& resolved)
{
    switch (resolved.source()) {
    case CalDavAccount::Source::Environment:
        return QLatin1String(CalDavAccount::kPasswordVariable);
    case CalDavAccount::Source::Netrc:
        return QStringLiteral("~/.netrc");
    case CalDavAccount::Source::Keyring:
        return QStringLiteral("keyring");
    case CalDavAccount::Source::None:
        break;
    }
    return resolved.keyringProblem().isEmpty()
               ? QStringLiteral("none")
               : QStringLiteral("none (no keyring answers: %1)").arg(resolved.keyringProblem());
}

} // namespace

AccountCommand::AccountCommand(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}

int AccountCommand::fail(const QString& message)
{
    m_err << QStringLiteral("tolva-cli: ") << message << '\n';
    m_err.flush();
    return 1;
}

int AccountCommand::usage(const QString& message)
{
    m_err << QStringLiteral("tolva-cli: %1 (see 'tolva-cli account --help')\n").arg(message);
    m_err.flush();
    return 2;
}

int AccountCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kDir, kUrl, kUser, kCaFile});
    if (!parser.parse(args))
        return usage(parser.errorText());
    const QStringList positional = parser.positionalArguments();
    if (positional == QStringList{QStringLiteral("set")})
        return set(parser);
    if (!positional.isEmpty())
        return usage(QStringLiteral("account takes nothing or set, not \"%1\"").arg(positional.join(' ')));
    if (parser.isSet(kUrl) || parser.isSet(kUser) || parser.isSet(kCaFile))
        return usage(QStringLiteral("--url, --user and --ca-file go after set"));
    return show();
}

int AccountCommand::show()
{
    SyncAccount account;
    QString error;
    if (!account.load(SyncAccount::defaultPath(), error))
        return fail(error);
    if (!account.isSet())
        return fail(
            QStringLiteral("no calendar account is set: 'tolva-cli account set --url URL --user NAME' "
                           "or the planner's File > Calendar Account... sets one"));
    CalDavAccount resolved;
    resolved.resolve(account.url(), account.user(), error);
    const auto line = [this](const char* word, const QString& text) {
        m_out << QStringLiteral("%1").arg(QLatin1String(word), -19) << ' ' << text << '\n';
    };
    line("url", account.url().toDisplayString());
    line("user", account.user().isEmpty() ? QStringLiteral("(none: no log-in)") : account.user());
    line("ca-file", account.caFile().isEmpty() ? QStringLiteral("(none: the system's authorities)")
                                               : QDir::toNativeSeparators(account.caFile()));
    line("password", sourceName(resolved));
    line("sync automatically", account.syncsAutomatically() ? QStringLiteral("yes") : QStringLiteral("no"));
    m_out.flush();
    return 0;
}

int AccountCommand::set(const QCommandLineParser& parser)
{
    if (!parser.isSet(kUrl) || !parser.isSet(kUser))
        return usage(QStringLiteral("account set needs --url URL and --user NAME"));
    const QUrl url(parser.value(kUrl), QUrl::StrictMode);
    QString error;
    // Plain http to another machine is refused when it is used, where --insecure-http can be given.
    if (!url.isValid())
        return usage(QStringLiteral("'%1' is not a URL: %2").arg(parser.value(kUrl), url.errorString()));
    if (!CalDavAccount::checkUrl(url, true, error))
        return usage(error);
    if (parser.value(kUser).isEmpty())
        return usage(QStringLiteral("--user takes a name"));
    QString caFile = parser.value(kCaFile);
    if (!caFile.isEmpty()) {
        const QFileInfo info(caFile);
        if (!info.isFile() || !info.isReadable())
            return fail(QStringLiteral("%1: no such readable file").arg(caFile));
        caFile = info.absoluteFilePath();
    }
    const QString path = SyncAccount::defaultPath();
    SyncAccount account;
    QString unreadable;
    account.load(path, unreadable); // a damaged file is moved aside by save(); its choices start afresh
    account.setUrl(CalDavClient::collectionUrl(url));
    account.setUser(parser.value(kUser));
    account.setCaFile(caFile);
    if (!account.save(path, error))
        return fail(error);
    return show();
}
