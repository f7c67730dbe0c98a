#pragma once

#include <QStringList>
#include <QTextStream>

// `tolva-cli publish` and `tolva-cli pull`: a year's events onto a CalDAV calendar, and a calendar's
// all-day events into a year's red days.
//
// publish makes the collection hold exactly what export-ics gives, one object per event (<UID>.ics). It
// lists the collection once, decides every event before sending anything (SyncPlan), then sends the PUTs
// and DELETEs together, each with the precondition that keeps it from overwriting what another client
// wrote meanwhile. Objects that are not ours are never touched. What the server now holds is kept in the
// year's publish state, written once at the end and only when it changed.
//
// pull fetches the calendar's events in one query and stores them through the holiday import's rules.
class CalDavSync
{
public:
    static constexpr const char* kPublishSynopsis =
        "publish YEAR --url URL [--user NAME] [--force] [--insecure-http] [--verbose]";
    static constexpr const char* kPublishHelp =
        "Makes the CalDAV calendar at URL hold exactly the events export-ics gives for the year. Events this "
        "command did not put there are never touched; one of ours changed on the server since the last "
        "publish is reported and left alone (--force replaces it). The password comes from "
        "TOLVA_CALDAV_PASSWORD or ~/.netrc. http:// is accepted only for this machine (--insecure-http "
        "allows it for others). --verbose lists every request.";
    static constexpr const char* kPullSynopsis =
        "pull URL YEAR [--user NAME] [--replace] [--insecure-http] [--verbose]";
    static constexpr const char* kPullHelp =
        "Makes the all-day events of the CalDAV calendar at URL red days of the year, by the rules of "
        "import-ics: events that repeat every year on their day become red days that repeat every year, "
        "and a day's red-day text is replaced only with --replace. Credentials as for publish.";

    CalDavSync(QTextStream& out, QTextStream& err);

    // `args` as CliRunner has them: the program first, without the command's name.
    int publish(const QStringList& args);
    int pull(const QStringList& args);

    // Test hook: the timeout of each request in milliseconds (default 30 s).
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

private:
    int fail(const QString& message);
    int usage(const QString& message, const char* command);

    QTextStream& m_out;
    QTextStream& m_err;
    int m_timeoutMs;
};
