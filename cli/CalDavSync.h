#pragma once

#include <QStringList>
#include <QTextStream>

class CalDavSession;
class DataFolderLock;
struct Parsed;
struct SyncResult;

// `tolva-cli publish`, `sync` and `pull`: the command lines over the sync library's engines (PublishEngine,
// SyncEngine), which do the work; here the options, the folder's lock and the report as text.
class CalDavSync
{
public:
    static constexpr const char* kPublishSynopsis =
        "publish YEAR [--url URL] [--user NAME] [--force] [--ca-file FILE] [--connections N] "
        "[--insecure-http] [--verbose]";
    static constexpr const char* kPublishHelp =
        "Makes the CalDAV calendar at URL hold exactly the events export-ics gives for the year; nothing "
        "comes back (that is sync). Events this command did not put there are never touched; one of ours "
        "changed on the server since the last publish is reported and left alone.\n\n"
        "  --url URL          the calendar collection (default: the account's, with its user and CA file; "
        "see account)\n"
        "  --user NAME        the user to log in as; the password comes from TOLVA_CALDAV_PASSWORD, "
        "~/.netrc or the keyring\n"
        "  --force            replace our events that were changed on the server\n"
        "  --ca-file FILE     also trust the certificate authorities in this PEM file (remembered for "
        "the server and user; --ca-file '' forgets it). SSL_CERT_FILE and SSL_CERT_DIR are honoured too\n"
        "  --connections N    requests in flight at once, 1 to 6 (default 6)\n"
        "  --insecure-http    allow http:// to another machine (only this machine by default)\n"
        "  --verbose          print every request with its status and time";
    static constexpr const char* kSyncSynopsis =
        "sync YEAR [--url URL] [--user NAME] [--prefer planner|server] [--replace] [--ca-file FILE] "
        "[--connections N] [--allow-mass-deletion] [--insecure-http] [--verbose]";
    static constexpr const char* kSyncHelp =
        "Brings the changes made on the CalDAV calendar at URL into the year and the year's changes out: "
        "memos, alarms, red days and projects (name, days, colour, ticks), and their deletions. An item "
        "changed on both sides since the last sync is a conflict, reported with both values; the planner's "
        "version wins unless --prefer server, and the other is kept in YEARS/YEAR.sync-conflicts.json. "
        "All-day "
        "events another client added become red days, tied to that event: they change and go with it, and "
        "the event itself is never changed or deleted from here. Events the year cannot hold (a timed "
        "meeting) stay on the server and are listed once.\n\n"
        "  --url URL                the calendar collection (default: the account's)\n"
        "  --user NAME              the user to log in as (password as for publish)\n"
        "  --prefer planner|server  whose version a conflict keeps (default planner)\n"
        "  --replace                red days from other clients' events replace a day's red day\n"
        "  --allow-mass-deletion    go on where the run would remove most of one side (a sync that would "
        "remove all of one side, or most of the year, stops before changing anything)\n"
        "  --ca-file FILE           also trust the certificate authorities in this PEM file (remembered)\n"
        "  --connections N          requests in flight at once, 1 to 6 (default 6)\n"
        "  --insecure-http          allow http:// to another machine\n"
        "  --verbose                print every request with its status and time";
    static constexpr const char* kPullSynopsis =
        "pull [URL] YEAR [--user NAME] [--prefer planner|server] [--replace] [--ca-file FILE] "
        "[--connections N] [--allow-mass-deletion] [--insecure-http] [--verbose]";
    static constexpr const char* kPullHelp =
        "The incoming half of sync: takes what changed on the CalDAV calendar at URL into the year and "
        "sends nothing. The planner's own events come back as what they are; other all-day events become "
        "red days by the rules of import-ics (events that repeat every year on their day become red days "
        "that repeat every year; a day's red-day text is replaced only with --replace). The year's own "
        "changes wait for the next sync. Without URL, the account's calendar.\n\n"
        "  --user NAME              the user to log in as (password as for publish)\n"
        "  --prefer planner|server  whose version a conflict keeps (default planner)\n"
        "  --replace                replace a day's red day with the calendar's\n"
        "  --allow-mass-deletion    go on where the run would remove most of the year\n"
        "  --ca-file FILE           also trust the certificate authorities in this PEM file (remembered)\n"
        "  --connections N          requests in flight at once, 1 to 6 (default 6)\n"
        "  --insecure-http          allow http:// to another machine\n"
        "  --verbose                print every request with its status and time";

    CalDavSync(QTextStream& out, QTextStream& err);

    // `args` as CliRunner has them: the program first, without the command's name.
    int publish(const QStringList& args);
    int sync(const QStringList& args);
    int pull(const QStringList& args);

    // Test hook: the timeout of each request in milliseconds (default 30 s).
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

private:
    int twoWay(const QStringList& args, bool outgoing);
    int fail(const QString& message);
    int usage(const QString& message, const char* command);
    int finish(const SyncResult& result, const QString& advice);
    bool open(CalDavSession& session, const Parsed& p, DataFolderLock& lock, const QString& yearsDir,
              const QString& nothing, QString& error);

    QTextStream& m_out;
    QTextStream& m_err;
    int m_timeoutMs;
};
