#include "CalDavSync.h"

#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "Calendar.h"
#include "CalendarExport.h"
#include "DataFolderLock.h"
#include "HolidayImport.h"
#include "ICalendarFile.h"
#include "PublishState.h"
#include "SyncPlan.h"
#include "YearReader.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QTimeZone>

namespace {

struct Options
{
    QString dir;
    QUrl url;
    QString user;
    int year = 0;
    bool force = false;
    bool replace = false;
    bool insecureHttp = false;
    bool verbose = false;
};

const QCommandLineOption kDir(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kUrl(QStringLiteral("url"), QString(), QStringLiteral("URL"));
const QCommandLineOption kUser(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kForce(QStringLiteral("force"));
const QCommandLineOption kReplace(QStringLiteral("replace"));
const QCommandLineOption kInsecureHttp(QStringLiteral("insecure-http"));
const QCommandLineOption kVerbose(QStringLiteral("verbose"));

// Parses the command line of publish (URL as --url) or pull (URL first); `error` says what is wrong.
bool parseOptions(const QStringList& args, bool isPublish, Options& o, QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kDir, kUser, kInsecureHttp, kVerbose});
    parser.addOption(isPublish ? kForce : kReplace);
    if (isPublish)
        parser.addOption(kUrl);
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    const QStringList positional = parser.positionalArguments();
    const int wanted = isPublish ? 1 : 2;
    if (positional.size() != wanted) {
        error = positional.size() < wanted ? QStringLiteral("missing arguments")
                                           : QStringLiteral("too many arguments");
        return false;
    }
    if (isPublish && !parser.isSet(kUrl)) {
        error = QStringLiteral("--url URL is missing");
        return false;
    }
    bool ok = false;
    o.year = positional.constLast().toInt(&ok);
    if (!ok || o.year < Calendar::kFirstYear || o.year > Calendar::kLastYear) {
        error = QStringLiteral("YEAR must be a year from 1 to 9999");
        return false;
    }
    o.url = QUrl(isPublish ? parser.value(kUrl) : positional.constFirst(), QUrl::StrictMode);
    o.dir = parser.isSet(kDir) ? parser.value(kDir) : QDir::currentPath();
    o.user = parser.value(kUser);
    o.force = isPublish && parser.isSet(kForce);
    o.replace = !isPublish && parser.isSet(kReplace);
    o.insecureHttp = parser.isSet(kInsecureHttp);
    o.verbose = parser.isSet(kVerbose);
    return true;
}

QByteArray contentHash(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

QString conflictText(SyncPlan::Reason reason)
{
    switch (reason) {
    case SyncPlan::Reason::ChangedOnServer:
        return QStringLiteral("changed on the server since the last publish");
    case SyncPlan::Reason::DeletedOnServer:
        return QStringLiteral("deleted on the server since the last publish");
    case SyncPlan::Reason::UnknownOnServer:
        return QStringLiteral("already on the server, but not put there by the last publish");
    case SyncPlan::Reason::RemovedButChanged:
        return QStringLiteral("removed here, but changed on the server since the last publish");
    default:
        break;
    }
    return QString();
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

int CalDavSync::publish(const QStringList& args)
{
    Options o;
    QString error;
    if (!parseOptions(args, true, o, error))
        return usage(error, "publish");
    CalDavAccount account;
    if (!CalDavAccount::checkUrl(o.url, o.insecureHttp, error) || !account.resolve(o.url, o.user, error))
        return fail(error);
    const QUrl collection = CalDavClient::collectionUrl(o.url);
    const QString shownUrl = collection.toDisplayString();

    YearReader reader(o.dir);
    DataFolderLock lock(reader.yearsDir());
    switch (lock.tryLock()) {
    case DataFolderLock::Status::Locked:
        break;
    case DataFolderLock::Status::InUse:
        return fail(QStringLiteral("a planner is working on %1%2; close it first. Nothing was published.")
                        .arg(QDir::toNativeSeparators(reader.yearsDir()),
                             lock.holderPid() > 0 ? QStringLiteral(" (process %1)").arg(lock.holderPid())
                                                  : QString()));
    case DataFolderLock::Status::Failed:
    case DataFolderLock::Status::Unlocked:
        return fail(QStringLiteral("%1 Nothing was published.").arg(lock.message()));
    }
    if (!reader.read(o.year))
        return fail(QStringLiteral("%1: %2. Nothing was published; see tolva-cli check.")
                        .arg(QDir::toNativeSeparators(reader.problem().path), reader.problem().reason));

    const QString statePath = QDir(reader.yearsDir()).filePath(PublishState::fileName(o.year));
    PublishState state;
    if (!state.load(statePath, error))
        return fail(QStringLiteral("%1: %2. Nothing was published; remove the file to publish afresh.")
                        .arg(QDir::toNativeSeparators(statePath), error));
    const QByteArray stateBefore = state.toJson();

    // The events as export-ics writes them, one calendar each. The hash is taken over a fixed DTSTAMP, so
    // that only a change of the event itself counts.
    QStringList notes;
    const QList<CalendarEvent> events = CalendarExport::events(reader.year(), notes);
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime fixedStamp(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    const QString base = collection.path(QUrl::FullyDecoded);
    QList<SyncPlan::Local> locals;
    QHash<QString, const CalendarEvent*> eventByUid;
    QHash<QString, QByteArray> textByUid;
    for (const CalendarEvent& e : events) {
        QString zoneNote;
        const QByteArray text = ICalendarFile::write({e}, zone, now, zoneNote);
        if (!zoneNote.isEmpty() && !notes.contains(zoneNote))
            notes << zoneNote;
        locals << SyncPlan::Local{e.uid, base + e.uid + QStringLiteral(".ics"),
                                  contentHash(ICalendarFile::write({e}, zone, fixedStamp, zoneNote))};
        eventByUid.insert(e.uid, &e);
        textByUid.insert(e.uid, text);
    }
    CalDavClient client(account.authorization());
    client.setTimeout(m_timeoutMs);
    if (o.verbose)
        client.setLog(&m_err);
    QList<MultiStatus::Response> members;
    if (!client.list(collection, members, error))
        return fail(error + QStringLiteral(". Nothing was published."));
    // Notes go with the report: standard error holds only what went wrong.
    for (const QString& note : notes)
        m_out << QStringLiteral("note      ") << note << '\n';
    QList<SyncPlan::Remote> remote;
    for (const MultiStatus::Response& m : members)
        remote << SyncPlan::Remote{CalDavClient::normalHref(collection, m.href), m.etag};

    const QList<SyncPlan::Known> known = state.events(shownUrl);
    const QList<SyncPlan::Step> steps = SyncPlan::plan(locals, known, remote, o.force);

    QList<CalDavClient::Request> requests;
    QList<qsizetype> stepOfRequest;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const SyncPlan::Step& s = steps.at(i);
        QUrl url = collection;
        url.setPath(s.href, QUrl::DecodedMode);
        switch (s.action) {
        case SyncPlan::Action::Create:
            requests << CalDavClient::Request{
                "PUT",
                url,
                {{"If-None-Match", "*"}, {"Content-Type", "text/calendar; charset=utf-8"}},
                textByUid.value(s.uid)};
            break;
        case SyncPlan::Action::Update:
            requests << CalDavClient::Request{
                "PUT",
                url,
                {{"If-Match", s.ifMatch.toUtf8()}, {"Content-Type", "text/calendar; charset=utf-8"}},
                textByUid.value(s.uid)};
            break;
        case SyncPlan::Action::Delete:
            requests << CalDavClient::Request{"DELETE", url, {{"If-Match", s.ifMatch.toUtf8()}}, {}};
            break;
        default:
            continue;
        }
        stepOfRequest << i;
    }
    const QList<CalDavClient::Reply> replies = client.send(requests);

    // The new state: what the server holds of ours after the replies.
    QHash<QString, SyncPlan::Known> next;
    for (const SyncPlan::Known& k : known)
        next.insert(k.uid, k);
    QHash<qsizetype, qsizetype> requestOfStep;
    for (qsizetype r = 0; r < stepOfRequest.size(); ++r)
        requestOfStep.insert(stepOfRequest.at(r), r);

    int added = 0, changed = 0, removed = 0, conflicts = 0;
    QStringList failures;
    QStringList missingEtags;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const SyncPlan::Step& s = steps.at(i);
        const CalendarEvent* event = eventByUid.value(s.uid);
        const QString what = event ? QStringLiteral("%1 (%2)").arg(s.uid, event->summary) : s.uid;
        if (s.action == SyncPlan::Action::Conflict) {
            ++conflicts;
            m_out << QStringLiteral("conflict  %1: %2; left alone (--force replaces it)\n")
                         .arg(what, conflictText(s.reason));
            continue;
        }
        if (s.action == SyncPlan::Action::Forget) {
            next.remove(s.uid);
            continue;
        }
        if (!requestOfStep.contains(i))
            continue;
        const qsizetype r = requestOfStep.value(i);
        const CalDavClient::Reply& reply = replies.at(r);
        const bool gone =
            s.action == SyncPlan::Action::Delete && (reply.status == 404 || reply.status == 410);
        if (!reply.ok() && !gone) {
            failures << client.describeFailure(requests.at(r), reply);
            m_out << QStringLiteral("failed    %1: %2\n").arg(what, failures.constLast());
            continue;
        }
        const QString forced =
            s.forced ? QStringLiteral(" (forced: %1)").arg(conflictText(s.reason)) : QString();
        switch (s.action) {
        case SyncPlan::Action::Delete:
            next.remove(s.uid);
            ++removed;
            m_out << QStringLiteral("removed   %1%2\n").arg(s.uid, forced);
            break;
        case SyncPlan::Action::Create:
        case SyncPlan::Action::Update: {
            SyncPlan::Known k{s.uid, s.href, QString::fromUtf8(reply.etag), {}};
            for (const SyncPlan::Local& l : locals)
                if (l.uid == s.uid)
                    k.hash = l.hash;
            if (k.etag.isEmpty())
                missingEtags << s.href;
            next.insert(s.uid, k);
            if (s.action == SyncPlan::Action::Create && !s.forced) {
                ++added;
                m_out << QStringLiteral("added     %1\n").arg(what);
            } else {
                ++changed;
                m_out << QStringLiteral("changed   %1%2\n").arg(what, forced);
            }
            break;
        }
        default:
            break;
        }
    }

    // A server may change what it stores and then send no ETag; one more listing gives it.
    if (!missingEtags.isEmpty()) {
        QList<MultiStatus::Response> after;
        QString listError;
        QHash<QString, QString> etags;
        if (client.list(collection, after, listError))
            for (const MultiStatus::Response& m : after)
                etags.insert(CalDavClient::normalHref(collection, m.href), m.etag);
        for (auto it = next.begin(); it != next.end(); ++it)
            if (it->etag.isEmpty())
                it->etag = etags.value(it->href);
    }

    state.setEvents(shownUrl, next.values());
    if (state.toJson() != stateBefore && !state.save(statePath, error))
        return fail(QStringLiteral("%1: %2. The server was changed, but this record of it could not be "
                                   "kept; the next publish will report the changed events as conflicts.")
                        .arg(QDir::toNativeSeparators(statePath), error));

    m_out << QStringLiteral("%1 added, %2 changed, %3 removed").arg(added).arg(changed).arg(removed);
    if (conflicts > 0)
        m_out << QStringLiteral(", %1 left alone").arg(conflicts);
    m_out << '\n';
    m_out.flush();
    if (!failures.isEmpty())
        return fail(failures.size() == 1 ? failures.constFirst()
                                         : QStringLiteral("%1 (and %2 more requests failed)")
                                               .arg(failures.constFirst())
                                               .arg(failures.size() - 1));
    if (conflicts > 0)
        return fail(QStringLiteral("%1: %2 of our events changed on the server were left alone; --force "
                                   "replaces them")
                        .arg(shownUrl)
                        .arg(conflicts));
    return 0;
}

int CalDavSync::pull(const QStringList& args)
{
    Options o;
    QString error;
    if (!parseOptions(args, false, o, error))
        return usage(error, "pull");
    CalDavAccount account;
    if (!CalDavAccount::checkUrl(o.url, o.insecureHttp, error) || !account.resolve(o.url, o.user, error))
        return fail(error);
    const QUrl collection = CalDavClient::collectionUrl(o.url);

    CalDavClient client(account.authorization());
    client.setTimeout(m_timeoutMs);
    if (o.verbose)
        client.setLog(&m_err);
    QList<MultiStatus::Response> events;
    if (!client.queryEvents(collection, events, error))
        return fail(error + QStringLiteral(". Nothing was imported."));

    QList<ImportedHoliday> holidays;
    QStringList skipped;
    for (const MultiStatus::Response& e : events) {
        QStringList skippedHere;
        QString why;
        if (!ICalendarFile::readHolidays(e.calendarData, o.year, holidays, skippedHere, why))
            skipped << QStringLiteral("%1: %2").arg(CalDavClient::normalHref(collection, e.href), why);
        skipped << skippedHere;
    }
    const int status = HolidayImport::store(o.dir, holidays, skipped, o.year, o.replace, m_out, m_err);
    m_out.flush();
    m_err.flush();
    return status;
}
