#include "CalDavSync.h"

#include "CalDavClient.h"
#include "CalDavSession.h"
#include "Calendar.h"
#include "CalendarExport.h"
#include "DataStore.h"
#include "DurableFile.h"
#include "HolidayImport.h"
#include "ICalendarFile.h"
#include "OutgoingEvents.h"
#include "PublishState.h"
#include "SyncDecision.h"
#include "SyncPlan.h"
#include "TextCodec.h"
#include "YearDocument.h"
#include "YearEdits.h"
#include "YearItems.h"
#include "YearReader.h"
#include "YearRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <memory>

namespace {

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

// A server may change what it stores and then send no ETag; one more listing gives it.
void fillMissingEtags(CalDavClient& client, const QUrl& collection, QHash<QString, SyncPlan::Known>& next)
{
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

QString dateText(const QDate& d)
{
    return d.toString(Qt::ISODate);
}

// One value of an item for a conflict line: its text and day, a project's name and days.
QString valueText(const CalendarEvent* e)
{
    if (!e)
        return QStringLiteral("deleted");
    if (e->kind == CalendarEvent::Kind::Project)
        return QStringLiteral("\"%1\" %2 to %3")
            .arg(e->summary, dateText(e->start), dateText(e->endExclusive.addDays(-1)));
    const QString text = CalendarExport::summaryOf(e->text());
    if (e->timed)
        return QStringLiteral("\"%1\" at %2 %3%4")
            .arg(text, dateText(e->start), e->startTime.toString(QStringLiteral("HH:mm:ss")),
                 e->alarmOn ? QString() : QStringLiteral(" (off)"));
    return QStringLiteral("\"%1\" on %2")
        .arg(text, e->yearly ? e->start.toString(QStringLiteral("MM-dd")) + QStringLiteral(" every year")
                             : dateText(e->start));
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
    CalDavSession session;
    QString error;
    if (!CalDavSession::parseOptions(args, CalDavSession::Command::Publish, session.o, error))
        return usage(error, "publish");
    if (!session.open(error, QStringLiteral("published"), m_timeoutMs, session.o.verbose ? &m_err : nullptr))
        return fail(error);
    const CalDavSession::Options& o = session.o;
    YearReader& reader = *session.reader;
    CalDavClient& client = *session.client;
    const QUrl& collection = session.collection;
    const QString& shownUrl = session.shownUrl;
    const QString& statePath = session.statePath;

    if (!reader.read(o.year))
        return fail(QStringLiteral("%1: %2. Nothing was published; see tolva-cli check.")
                        .arg(QDir::toNativeSeparators(reader.problem().path), reader.problem().reason));
    PublishState state;
    if (!state.load(statePath, error))
        return fail(QStringLiteral("%1: %2. Nothing was published; remove the file to publish afresh.")
                        .arg(QDir::toNativeSeparators(statePath), error));
    const QByteArray stateBefore = state.toJson();
    // Foreign events a sync saw are not ours to publish or remove; they stay in the record as they are.
    QList<SyncPlan::Known> known, foreign;
    for (const SyncPlan::Known& k : state.events(shownUrl))
        (k.foreign ? foreign : known) << k;

    QStringList notes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const OutgoingEvents outgoing = OutgoingEvents::prepare(reader.year(), known, now, notes);
    const QString base = collection.path(QUrl::FullyDecoded);
    // The red days a foreign event gave over several days, as it gave them, are that object's: sent as
    // ours they would stand twice on the phone. One changed here since is ours, as sync has it.
    QHash<QString, QByteArray> foreignDays;
    for (const SyncPlan::Known& k : foreign)
        for (auto it = k.days.cbegin(); it != k.days.cend(); ++it)
            foreignDays.insert(it.key(), it.value());
    QList<SyncPlan::Local> locals;
    for (qsizetype i = 0; i < outgoing.events.size(); ++i) {
        const CalendarEvent& e = outgoing.events.at(i);
        if (e.kind == CalendarEvent::Kind::RedDay && !foreignDays.isEmpty()) {
            const auto held = foreignDays.constFind(YearItems::dayKey(e));
            if (held != foreignDays.cend() && held.value() == OutgoingEvents::redDayHash(e))
                continue;
        }
        locals << SyncPlan::Local{e.uid, base + e.uid + QStringLiteral(".ics"),
                                  OutgoingEvents::contentHash(outgoing.contents.at(i))};
    }

    QList<MultiStatus::Response> members;
    if (!client.list(collection, members, error))
        return fail(error + QStringLiteral(". Nothing was published."));
    for (const QString& note : notes)
        m_out << QStringLiteral("note      ") << note << '\n';
    QList<SyncPlan::Remote> remote;
    for (const MultiStatus::Response& m : members)
        remote << SyncPlan::Remote{CalDavClient::normalHref(collection, m.href), m.etag, {}};

    QList<SyncPlan::Step> steps = SyncPlan::plan(locals, known, remote, false);
    // An object in our way may already be what we would put there (another year shares the calendar, or
    // a run was cut short after its PUT): its content decides, fetched in one request.
    QStringList contested;
    for (const SyncPlan::Step& s : steps)
        if (s.action == SyncPlan::Action::Conflict && s.reason != SyncPlan::Reason::DeletedOnServer)
            contested << s.href;
    if (!contested.isEmpty()) {
        QList<MultiStatus::Response> fetched;
        if (!client.multiget(collection, contested, fetched, error))
            return fail(error + QStringLiteral(". Nothing was published."));
        QHash<QString, QByteArray> hashOf;
        for (const MultiStatus::Response& f : fetched) {
            QList<CalendarEvent> parsed;
            QString why;
            if (ICalendarFile::readEvents(f.calendarData, parsed, why) && parsed.size() == 1)
                hashOf.insert(CalDavClient::normalHref(collection, f.href),
                              OutgoingEvents::contentHash(ICalendarFile::canonical(parsed.constFirst())));
        }
        for (SyncPlan::Remote& r : remote)
            r.hash = hashOf.value(r.href);
    }
    steps = SyncPlan::plan(locals, known, remote, o.force);

    QList<CalDavClient::Request> requests;
    QList<qsizetype> stepOfRequest;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const SyncPlan::Step& s = steps.at(i);
        const qsizetype e = outgoing.byUid.value(s.uid, -1);
        switch (s.action) {
        case SyncPlan::Action::Create:
            requests << CalDavClient::putRequest(
                collection, s.href, OutgoingEvents::wireText(outgoing.events.at(e), now, notes), QString());
            break;
        case SyncPlan::Action::Update:
            requests << CalDavClient::putRequest(
                collection, s.href, OutgoingEvents::wireText(outgoing.events.at(e), now, notes), s.ifMatch);
            break;
        case SyncPlan::Action::Delete:
            requests << CalDavClient::deleteRequest(collection, s.href, s.ifMatch);
            break;
        default:
            continue;
        }
        stepOfRequest << i;
    }
    const QList<CalDavClient::Reply> replies = client.send(requests);

    // The new state: what the server holds of ours after the replies.
    QHash<QString, SyncPlan::Known> next;
    for (const SyncPlan::Known& k : known + foreign)
        next.insert(k.uid, k);
    QHash<qsizetype, qsizetype> requestOfStep;
    for (qsizetype r = 0; r < stepOfRequest.size(); ++r)
        requestOfStep.insert(stepOfRequest.at(r), r);

    int added = 0, changed = 0, removed = 0, conflicts = 0;
    QStringList failures;
    bool missingEtags = false;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const SyncPlan::Step& s = steps.at(i);
        const qsizetype e = outgoing.byUid.value(s.uid, -1);
        const CalendarEvent* event = e >= 0 ? &outgoing.events.at(e) : nullptr;
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
        if (s.action == SyncPlan::Action::Untouched) {
            // Recorded with its content, and the server's ETag where it stood in our way with the same.
            if (event)
                next.insert(
                    s.uid, OutgoingEvents::knownFrom(*event, s.href,
                                                     s.ifMatch.isEmpty() ? next.value(s.uid).etag : s.ifMatch,
                                                     outgoing.contents.at(e)));
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
            next.insert(s.uid, OutgoingEvents::knownFrom(*event, s.href, QString::fromUtf8(reply.etag),
                                                         outgoing.contents.at(e)));
            missingEtags = missingEtags || reply.etag.isEmpty();
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

    if (missingEtags)
        fillMissingEtags(client, collection, next);

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

int CalDavSync::sync(const QStringList& args)
{
    return twoWay(args, true);
}

int CalDavSync::pull(const QStringList& args)
{
    return twoWay(args, false);
}

namespace {

struct Tally
{
    int added = 0, changed = 0, removed = 0; // on the server
    int takenIn = 0, removedHere = 0, redDays = 0;
    int conflicts = 0, left = 0;
    QStringList failures;
    bool yearChanged = false;
};

const char* kindWord(CalendarEvent::Kind kind)
{
    switch (kind) {
    case CalendarEvent::Kind::Project:
        return "project";
    case CalendarEvent::Kind::Memo:
        return "memo";
    case CalendarEvent::Kind::Alarm:
        return "alarm";
    case CalendarEvent::Kind::RedDay:
        break;
    }
    return "red day";
}

// The year file before a sync changes it, one copy that each such sync replaces: what another client
// did to the year can always be undone by hand.
bool keepYearCopy(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(DataStore::kMaxFileSize + 1);
    const StoreResult r = DurableFile::write(path + QStringLiteral(".before-sync"), bytes);
    if (!r.ok())
        error = r.reason.isEmpty() ? r.message : r.reason;
    return r.ok();
}

} // namespace

int CalDavSync::twoWay(const QStringList& args, bool outgoing)
{
    const char* command = outgoing ? "sync" : "pull";
    CalDavSession session;
    QString error;
    if (!CalDavSession::parseOptions(
            args, outgoing ? CalDavSession::Command::Sync : CalDavSession::Command::Pull, session.o, error))
        return usage(error, command);
    const QString nothing = outgoing ? QStringLiteral("synced") : QStringLiteral("imported");
    if (!session.open(error, nothing, m_timeoutMs, session.o.verbose ? &m_err : nullptr))
        return fail(error);
    const CalDavSession::Options& o = session.o;
    YearReader& reader = *session.reader;
    CalDavClient& client = *session.client;
    const QUrl& collection = session.collection;
    const QString base = collection.path(QUrl::FullyDecoded);
    const SyncDecision::Prefer prefer =
        o.preferServer ? SyncDecision::Prefer::Server : SyncDecision::Prefer::Planner;

    PublishState state;
    if (!state.load(session.statePath, error))
        return fail(QStringLiteral("%1: %2. Nothing was %3; remove the file to start afresh.")
                        .arg(QDir::toNativeSeparators(session.statePath), error, nothing));

    Tally tally;
    QSet<QString> listed; // items reported in an earlier round
    // A round that took something in runs once more: the year's own rendering of what came in (a summary
    // cut, a description added) goes back out, so both sides end equal.
    for (int round = 0; round < 2; ++round) {
        if (!reader.read(o.year))
            return fail(
                QStringLiteral("%1: %2. Nothing was %3; see tolva-cli check.")
                    .arg(QDir::toNativeSeparators(reader.problem().path), reader.problem().reason, nothing));
        const QByteArray stateBefore = state.toJson();
        const QList<SyncPlan::Known> known = state.events(session.shownUrl);
        QHash<QString, const SyncPlan::Known*> knownByHref, knownByUid;
        for (const SyncPlan::Known& k : known) {
            knownByHref.insert(k.href, &k);
            knownByUid.insert(k.uid, &k);
        }
        QStringList notes;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const OutgoingEvents out = OutgoingEvents::prepare(reader.year(), known, now, notes);

        QList<MultiStatus::Response> members;
        if (!client.list(collection, members, error))
            return fail(error + QStringLiteral(". Nothing was %1.").arg(nothing));
        if (round == 0)
            for (const QString& note : notes)
                m_out << QStringLiteral("note      ") << note << '\n';

        QList<SyncDecision::Remote> remotes;
        QHash<QString, qsizetype> remoteAt;
        QStringList wanted;
        for (const MultiStatus::Response& m : members) {
            SyncDecision::Remote r;
            r.href = CalDavClient::normalHref(collection, m.href);
            r.etag = m.etag;
            const SyncPlan::Known* k = knownByHref.value(r.href);
            if (!k || k->etag != r.etag)
                wanted << r.href;
            remoteAt.insert(r.href, remotes.size());
            remotes << r;
        }
        QList<MultiStatus::Response> fetched;
        if (!client.multiget(collection, wanted, fetched, error))
            return fail(error + QStringLiteral(". Nothing was %1.").arg(nothing));
        QList<CalendarEvent> serverEvents(remotes.size());
        QHash<qsizetype, QByteArray> serverData;
        for (const MultiStatus::Response& f : fetched) {
            const qsizetype i = remoteAt.value(CalDavClient::normalHref(collection, f.href), -1);
            if (i < 0)
                continue;
            SyncDecision::Remote& r = remotes[i];
            QList<CalendarEvent> parsed;
            QString why;
            QStringList warnings;
            r.fetched = true;
            if (!f.etag.isEmpty())
                r.etag = f.etag;
            if (!ICalendarFile::readEvents(f.calendarData, parsed, why, &warnings) || parsed.isEmpty()) {
                r.uid = r.href;
                continue;
            }
            for (const QString& w : warnings)
                m_err << QStringLiteral("tolva-cli: %1: %2\n").arg(r.href, w);
            const CalendarEvent& e = parsed.constFirst();
            r.uid = e.uid;
            r.ours = e.ours;
            // A foreign event the last sync adopted as a red day is read as one.
            const SyncPlan::Known* k = knownByHref.value(r.href);
            CalendarEvent event = e;
            if (!e.ours && k && !k->foreign) {
                CalendarEvent baseEvent;
                if (YearItems::baseEvent(*k, baseEvent))
                    event.kind = baseEvent.kind;
            }
            r.holdable = e.ours || (k && !k->foreign) ? YearEdits::holds(event, o.year)
                                                      : !e.timed && e.start.isValid();
            r.content = ICalendarFile::canonical(event);
            serverEvents[i] = event;
            serverData.insert(i, f.calendarData);
        }

        QList<SyncDecision::Local> locals;
        QHash<QString, qsizetype> localByKey;
        for (qsizetype i = 0; i < out.events.size(); ++i) {
            const CalendarEvent& e = out.events.at(i);
            SyncDecision::Local l{e.uid, base + e.uid + QStringLiteral(".ics"), out.contents.at(i), {}, {}};
            if (e.kind == CalendarEvent::Kind::RedDay) {
                l.key = YearItems::dayKey(e);
                l.dayHash = OutgoingEvents::redDayHash(e);
                localByKey.insert(l.key, i);
            }
            locals << l;
        }
        const QList<SyncDecision::Step> steps =
            SyncDecision::decide(locals, known, remotes, prefer, outgoing);

        // Out first: requests in parallel.
        QList<CalDavClient::Request> requests;
        QHash<qsizetype, qsizetype> requestOfStep;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const SyncDecision::Step& s = steps.at(i);
            if (s.toServer == SyncDecision::ToServer::None)
                continue;
            requestOfStep.insert(i, requests.size());
            if (s.toServer == SyncDecision::ToServer::Delete)
                requests << CalDavClient::deleteRequest(collection, s.href, s.ifMatch);
            else
                requests << CalDavClient::putRequest(
                    collection, s.href, OutgoingEvents::wireText(out.events.at(s.local), now, notes),
                    s.toServer == SyncDecision::ToServer::Create ? QString() : s.ifMatch);
        }
        const QList<CalDavClient::Reply> replies = client.send(requests);

        QHash<QString, SyncPlan::Known> next;
        for (const SyncPlan::Known& k : known)
            next.insert(k.uid, k);
        struct Adoption
        {
            SyncPlan::Known known;
            QString dayKey;
        };
        QList<Adoption> adoptions;
        // Foreign events over several days: UID -> the day keys of the red days they gave.
        QHash<QString, QStringList> groups;
        bool missingEtags = false;

        // Then in: every edit through the year's one document, saved once.
        bool anyHere = false;
        for (const SyncDecision::Step& s : steps)
            anyHere = anyHere || s.here != SyncDecision::Here::None;
        QList<StoreResult> problems;
        if (anyHere) {
            DataStore store;
            const StoreResult captured = store.CaptureWorkDir(o.dir);
            DisplaySettings defaults{};
            const StoreResult defaultsResult = captured.ok() ? store.loadDefaults(defaults) : captured;
            if (!defaultsResult.ok())
                return fail(QStringLiteral("%1 Nothing was taken in.").arg(defaultsResult.message));
            if (!keepYearCopy(store.yearPath(o.year), error))
                return fail(QStringLiteral("no copy of the year could be kept (%1). Nothing was taken in.")
                                .arg(error));
            YearRegistry registry(store, defaults);
            QObject::connect(&registry, &YearRegistry::problem, [&](const StoreResult& r) { problems << r; });
            std::shared_ptr<YearDocument> document = registry.open(o.year);
            DisplaySettings settings = document->data().m_settings;
            settings.m_stSelected = reader.storedSelection();
            document->setViewSettings(settings);
            YearEdits edits(*document, o.year);
            QList<ImportedHoliday> holidays;
            QList<qsizetype> holidayStep;
            for (qsizetype i = 0; i < steps.size(); ++i) {
                const SyncDecision::Step& s = steps.at(i);
                const CalendarEvent* local = s.local >= 0 ? &out.events.at(s.local) : nullptr;
                // A foreign event's red days go with it; a changed one is given again below.
                for (const QString& key : s.dropDays) {
                    const qsizetype l = localByKey.value(key, -1);
                    if (l < 0)
                        continue;
                    const CalendarEvent& day = out.events.at(l);
                    edits.remove(day);
                    tally.yearChanged = true;
                    if (s.here == SyncDecision::Here::Remove) {
                        ++tally.removedHere;
                        m_out << QStringLiteral(
                                     "removed   red day %1 (%2) here: %3 was deleted on the server\n")
                                     .arg(day.yearly ? day.start.toString(QStringLiteral("MM-dd")) +
                                                           QStringLiteral(" every year")
                                                     : dateText(day.start),
                                          day.summary, s.uid);
                    }
                }
                CalendarEvent baseEvent;
                const SyncPlan::Known* k = knownByUid.value(s.uid);
                const bool hasBase = k && YearItems::baseEvent(*k, baseEvent);
                QString why;
                switch (s.here) {
                case SyncDecision::Here::None:
                    break;
                case SyncDecision::Here::Apply: {
                    const CalendarEvent& server = serverEvents.at(s.remote);
                    if (!edits.apply(server, local, hasBase ? &baseEvent : nullptr, why)) {
                        m_out << QStringLiteral("left      %1 (%2): %3\n").arg(s.uid, server.summary, why);
                        ++tally.left;
                        break;
                    }
                    if (!why.isEmpty())
                        m_out << QStringLiteral("note      %1: %2\n").arg(s.uid, why);
                    SyncPlan::Known n = OutgoingEvents::knownFrom(server, s.href, remotes.at(s.remote).etag,
                                                                  remotes.at(s.remote).content);
                    if (server.kind == CalendarEvent::Kind::Project)
                        n.position = int(edits.lastPosition());
                    next.insert(s.uid, n);
                    ++tally.takenIn;
                    tally.yearChanged = true;
                    if (!s.conflict)
                        m_out << QStringLiteral("took in   %1 %2 (%3)\n")
                                     .arg(QLatin1String(kindWord(server.kind)), s.uid, server.summary);
                    break;
                }
                case SyncDecision::Here::Remove:
                    if (local) {
                        edits.remove(*local);
                        ++tally.removedHere;
                        tally.yearChanged = true;
                        if (!s.conflict)
                            m_out << QStringLiteral("removed   %1 %2 (%3) here\n")
                                         .arg(QLatin1String(kindWord(local->kind)), s.uid, local->summary);
                    }
                    next.remove(s.uid);
                    break;
                case SyncDecision::Here::Import: {
                    QList<ImportedHoliday> found;
                    QStringList skipped;
                    QString reason;
                    if (ICalendarFile::readHolidays(serverData.value(s.remote), o.year, found, skipped,
                                                    reason)) {
                        for (const ImportedHoliday& h : found) {
                            holidays << h;
                            holidayStep << i;
                        }
                    }
                    for (const QString& line : skipped) {
                        m_out << QStringLiteral("left      %1\n").arg(line);
                        ++tally.left;
                    }
                    SyncPlan::Known n;
                    n.uid = s.uid;
                    n.href = s.href;
                    n.etag = remotes.at(s.remote).etag;
                    n.foreign = true;
                    next.insert(s.uid, n);
                    break;
                }
                }
            }
            edits.finish();
            const QList<HolidayImport::Decision> decisions =
                HolidayPlan::plan(document->data(), holidays, o.replace);
            QHash<qsizetype, int> daysOfStep;
            for (qsizetype h = 0; h < holidays.size(); ++h)
                ++daysOfStep[holidayStep.at(h)];
            for (qsizetype h = 0; h < decisions.size() && h < holidays.size(); ++h) {
                const HolidayImport::Decision& d = decisions.at(h);
                const SyncDecision::Step& s = steps.at(holidayStep.at(h));
                const QString day = d.holiday.everyYear
                                        ? QStringLiteral("%1-%2 every year")
                                              .arg(d.holiday.month, 2, 10, QLatin1Char('0'))
                                              .arg(d.holiday.day, 2, 10, QLatin1Char('0'))
                                        : dateText(QDate(o.year, d.holiday.month, d.holiday.day));
                if (d.action == HolidayImport::Action::Add || d.action == HolidayImport::Action::Replace) {
                    RedDayRecord record = document->data().m_redDays.at(d.dayIndex);
                    record.m_bEveryYear = d.holiday.everyYear ? 1 : 0;
                    record.m_stDate = Calendar::makeDate(o.year, d.holiday.month, d.holiday.day);
                    document->setRedDay(d.dayIndex, record, TextCodec::encode(d.holiday.text));
                    m_out << QStringLiteral("red day   %1 %2 (from %3)\n").arg(day, d.holiday.text, s.uid);
                    ++tally.redDays;
                    tally.yearChanged = true;
                } else if (d.action == HolidayImport::Action::Keep) {
                    m_out << QStringLiteral("skipped   %1 %2: the day is already the red day \"%3\" "
                                            "(--replace replaces it)\n")
                                 .arg(day, d.holiday.text, d.existing);
                }
                const int daysOfEvent = daysOfStep.value(holidayStep.at(h));
                const auto dayKey = [&] {
                    CalendarEvent key;
                    key.kind = CalendarEvent::Kind::RedDay;
                    key.yearly = d.holiday.everyYear;
                    key.start = d.holiday.everyYear
                                    ? QDate(CalendarExport::kEveryYearStart, d.holiday.month, d.holiday.day)
                                    : QDate(o.year, d.holiday.month, d.holiday.day);
                    return YearItems::dayKey(key);
                };
                // An event that gives several days keeps them: they are its, not events of ours.
                if (daysOfEvent > 1 && d.action == HolidayImport::Action::Add)
                    groups[s.uid] << dayKey();
                // An event that gives one day is that red day's own object from now on: the planner's
                // version replaces it when the red day changes, instead of a second event beside it.
                if (outgoing && daysOfEvent == 1 &&
                    (d.action == HolidayImport::Action::Add || d.action == HolidayImport::Action::Replace ||
                     d.action == HolidayImport::Action::Same)) {
                    Adoption a;
                    a.known = next.value(s.uid);
                    a.known.foreign = false;
                    a.dayKey = dayKey();
                    adoptions << a;
                }
            }
            // Letting go of the document saves the year and the every-year red days.
        }
        for (const StoreResult& p : problems)
            return fail(QStringLiteral("%1 The server was not changed by what failed here.").arg(p.message));

        if ((!adoptions.isEmpty() || !groups.isEmpty()) && reader.read(o.year)) {
            QStringList ignored;
            const QList<CalendarEvent> now = CalendarExport::events(reader.year(), ignored);
            QHash<QString, QByteArray> hashOfDay;
            for (const CalendarEvent& e : now)
                if (e.kind == CalendarEvent::Kind::RedDay)
                    hashOfDay.insert(YearItems::dayKey(e), OutgoingEvents::redDayHash(e));
            for (auto g = groups.cbegin(); g != groups.cend(); ++g) {
                if (!next.contains(g.key()))
                    continue;
                SyncPlan::Known& k = next[g.key()];
                for (const QString& key : g.value())
                    if (hashOfDay.contains(key))
                        k.days.insert(key, hashOfDay.value(key));
            }
            for (Adoption& a : adoptions) {
                for (CalendarEvent e : now) {
                    if (e.kind != CalendarEvent::Kind::RedDay || YearItems::dayKey(e) != a.dayKey)
                        continue;
                    e.uid = a.known.uid;
                    a.known.content = ICalendarFile::canonical(e);
                    a.known.key = YearItems::keyOf(e);
                    a.known.hash = OutgoingEvents::contentHash(a.known.content);
                    next.insert(a.known.uid, a.known);
                }
            }
        }

        for (qsizetype i = 0; i < steps.size(); ++i) {
            const SyncDecision::Step& s = steps.at(i);
            const CalendarEvent* local = s.local >= 0 ? &out.events.at(s.local) : nullptr;
            const CalendarEvent* server =
                s.remote >= 0 && remotes.at(s.remote).fetched ? &serverEvents.at(s.remote) : nullptr;
            CalendarEvent lastSeen;
            const SyncPlan::Known* k = knownByUid.value(s.uid);
            const bool seen = !local && !server && k && YearItems::baseEvent(*k, lastSeen);
            const QString what = QStringLiteral("%1 (%2)").arg(s.uid, local    ? local->summary
                                                                      : server ? server->summary
                                                                      : seen   ? lastSeen.summary
                                                                               : QString());
            if (s.conflict) {
                ++tally.conflicts;
                const bool planner = prefer == SyncDecision::Prefer::Planner;
                m_out << QStringLiteral("conflict  %1: the planner has %2, the server %3; kept the %4\n")
                             .arg(what, valueText(local), valueText(server),
                                  planner ? QStringLiteral("planner's (--prefer server takes the server's)")
                                          : QStringLiteral("server's"));
            }
            if (s.reason == SyncDecision::Reason::Unholdable && s.here == SyncDecision::Here::None &&
                s.base == SyncDecision::Base::Foreign) {
                SyncPlan::Known n;
                n.uid = s.uid;
                n.href = s.href;
                n.etag = remotes.at(s.remote).etag;
                n.foreign = true;
                n.days = s.keepDays;
                next.insert(s.uid, n);
                if (server && !server->ours && !listed.contains(s.uid)) {
                    listed.insert(s.uid);
                    ++tally.left;
                    m_out << QStringLiteral("left      %1 on the server: %2\n")
                                 .arg(what, server->timed
                                                ? QStringLiteral("a timed event, which the year cannot hold")
                                                : QStringLiteral("the year cannot hold it"));
                }
                continue;
            }
            if (s.here == SyncDecision::Here::None && s.toServer == SyncDecision::ToServer::None) {
                if (s.base == SyncDecision::Base::Keep && next.contains(s.uid) && next.value(s.uid).foreign)
                    next[s.uid].days = s.keepDays; // the days changed or removed here are no longer its
                if (s.base == SyncDecision::Base::Remote && s.remote >= 0)
                    next.insert(s.uid, OutgoingEvents::knownFrom(local ? *local : *server, s.href,
                                                                 remotes.at(s.remote).etag,
                                                                 remotes.at(s.remote).content));
                else if (s.base == SyncDecision::Base::Drop)
                    next.remove(s.uid);
                else if (s.base == SyncDecision::Base::Foreign && s.remote >= 0 && !next.contains(s.uid)) {
                    SyncPlan::Known n;
                    n.uid = s.uid;
                    n.href = s.href;
                    n.etag = remotes.at(s.remote).etag;
                    n.foreign = true;
                    next.insert(s.uid, n);
                } else if (local && s.base == SyncDecision::Base::Keep && knownByUid.contains(s.uid) &&
                           outgoing) {
                    // Unchanged: the record keeps its content; a revision from an older state is filled in.
                    next.insert(s.uid,
                                OutgoingEvents::knownFrom(*local, s.href, knownByUid.value(s.uid)->etag,
                                                          out.contents.at(s.local)));
                }
                continue;
            }
            if (!requestOfStep.contains(i))
                continue;
            const qsizetype r = requestOfStep.value(i);
            const CalDavClient::Reply& reply = replies.at(r);
            const bool gone =
                s.toServer == SyncDecision::ToServer::Delete && (reply.status == 404 || reply.status == 410);
            if (!reply.ok() && !gone) {
                // The record stays as it was: the next run decides the item again.
                tally.failures << client.describeFailure(requests.at(r), reply);
                m_out << QStringLiteral("failed    %1: %2\n").arg(what, tally.failures.constLast());
                continue;
            }
            switch (s.toServer) {
            case SyncDecision::ToServer::Delete:
                next.remove(s.uid);
                ++tally.removed;
                if (!s.conflict)
                    m_out << QStringLiteral("removed   %1\n").arg(what);
                break;
            case SyncDecision::ToServer::Create:
            case SyncDecision::ToServer::Update:
                next.insert(s.uid, OutgoingEvents::knownFrom(*local, s.href, QString::fromUtf8(reply.etag),
                                                             out.contents.at(s.local)));
                missingEtags = missingEtags || reply.etag.isEmpty();
                if (s.toServer == SyncDecision::ToServer::Create && !s.conflict) {
                    ++tally.added;
                    m_out << QStringLiteral("added     %1\n").arg(what);
                } else {
                    ++tally.changed;
                    if (!s.conflict)
                        m_out << QStringLiteral("changed   %1\n").arg(what);
                }
                break;
            case SyncDecision::ToServer::None:
                break;
            }
        }
        if (missingEtags)
            fillMissingEtags(client, collection, next);

        state.setEvents(session.shownUrl, next.values());
        if (state.toJson() != stateBefore && !state.save(session.statePath, error))
            return fail(
                QStringLiteral("%1: %2. The server and the year were changed, but this record of them "
                               "could not be kept; the next sync finds them equal and records them again.")
                    .arg(QDir::toNativeSeparators(session.statePath), error));
        bool again = false;
        for (const SyncDecision::Step& s : steps)
            again = again || s.here == SyncDecision::Here::Apply || s.here == SyncDecision::Here::Import;
        if (!again || !outgoing || !tally.failures.isEmpty())
            break;
    }

    if (outgoing)
        m_out << QStringLiteral("%1 added, %2 changed, %3 removed on the server; ")
                     .arg(tally.added)
                     .arg(tally.changed)
                     .arg(tally.removed);
    m_out << QStringLiteral("%1 taken in, %2 removed, %3 red days added here")
                 .arg(tally.takenIn)
                 .arg(tally.removedHere)
                 .arg(tally.redDays);
    if (tally.conflicts > 0)
        m_out << QStringLiteral("; %1 conflicts").arg(tally.conflicts);
    if (tally.left > 0)
        m_out << QStringLiteral("; %1 left on the server").arg(tally.left);
    m_out << '\n';
    m_out.flush();
    if (!tally.failures.isEmpty())
        return fail(tally.failures.size() == 1 ? tally.failures.constFirst()
                                               : QStringLiteral("%1 (and %2 more requests failed)")
                                                     .arg(tally.failures.constFirst())
                                                     .arg(tally.failures.size() - 1));
    return 0;
}
