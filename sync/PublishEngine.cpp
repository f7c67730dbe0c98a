#include "PublishEngine.h"

#include "CalDavClient.h"
#include "ICalendarFile.h"
#include "MissingEtags.h"
#include "OutgoingEvents.h"
#include "SyncEngine.h"
#include "SyncSink.h"
#include "SyncYear.h"
#include "YearItems.h"

#include <QDir>

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

} // namespace

struct PublishEngine::Plan
{
    QList<SyncPlan::Known> known, foreign;
    QDateTime now;
    QStringList notes;
    OutgoingEvents out;
    QList<SyncPlan::Local> locals;
    QList<SyncPlan::Remote> remote;
    QList<SyncPlan::Step> steps;
    QList<CalDavClient::Request> requests;
    QHash<qsizetype, qsizetype> requestOfStep;
    QList<CalDavClient::Reply> replies;
    QHash<QString, SyncPlan::Known> next;
    bool missingEtags = false;
};

PublishEngine::PublishEngine(CalDavClient& client, const QUrl& collection, SyncYear& year, SyncSink& sink)
    : m_client(client), m_collection(collection), m_shownUrl(collection.toDisplayString()), m_year(year),
      m_sink(sink)
{
}

SyncResult PublishEngine::run(bool force)
{
    m_force = force;
    m_result = SyncResult{};
    Plan p;
    if (!prepare(p) || !list(p) || !settleContested(p))
        return m_result;
    send(p);
    for (qsizetype i = 0; i < p.steps.size(); ++i)
        recordStep(p, i);
    save(p);
    return m_result;
}

// The year's events, less the red days a foreign event gave as it gave them: those are that object's, and
// sent as ours they would stand twice on the phone. One changed here since is ours.
bool PublishEngine::prepare(Plan& p)
{
    QString error;
    const QString statePath = SyncEngine::statePath(m_year.yearsDir(), m_year.year());
    if (!m_year.read(error)) {
        m_result.error = QStringLiteral("%1. Nothing was published.").arg(error);
        return false;
    }
    if (!m_state.load(statePath, error)) {
        m_result.error = QStringLiteral("%1: %2. Nothing was published; remove the file to publish afresh.")
                             .arg(QDir::toNativeSeparators(statePath), error);
        return false;
    }
    for (const SyncPlan::Known& k : m_state.events(m_shownUrl))
        (k.foreign ? p.foreign : p.known) << k;
    p.now = QDateTime::currentDateTimeUtc();
    p.out = OutgoingEvents::prepare(m_year.data(), p.known, p.now, p.notes);
    QHash<QString, QByteArray> foreignDays;
    for (const SyncPlan::Known& k : p.foreign)
        for (auto it = k.days.cbegin(); it != k.days.cend(); ++it)
            foreignDays.insert(it.key(), it.value());
    const QString base = m_collection.path(QUrl::FullyDecoded);
    for (qsizetype i = 0; i < p.out.events.size(); ++i) {
        const CalendarEvent& e = p.out.events.at(i);
        if (e.kind == CalendarEvent::Kind::RedDay && !foreignDays.isEmpty()) {
            const auto held = foreignDays.constFind(YearItems::dayKey(e));
            if (held != foreignDays.cend() && held.value() == OutgoingEvents::redDayHash(e))
                continue;
        }
        p.locals << SyncPlan::Local{e.uid, base + e.uid + QStringLiteral(".ics"),
                                    OutgoingEvents::contentHash(p.out.contents.at(i))};
    }
    return true;
}

bool PublishEngine::list(Plan& p)
{
    QList<MultiStatus::Response> members;
    QString error;
    if (!m_client.list(m_collection, members, error)) {
        m_result.error = error + QStringLiteral(". Nothing was published.");
        return false;
    }
    for (const QString& note : p.notes)
        m_sink.line(QStringLiteral("note"), note);
    for (const MultiStatus::Response& m : members)
        p.remote << SyncPlan::Remote{CalDavClient::normalHref(m_collection, m.href), m.etag, {}};
    return true;
}

// An object in our way may already be what we would put there (another year shares the calendar, or a run
// was cut short after its PUT): its content decides, fetched in one request.
bool PublishEngine::settleContested(Plan& p)
{
    p.steps = SyncPlan::plan(p.locals, p.known, p.remote, false);
    QStringList contested;
    for (const SyncPlan::Step& s : p.steps)
        if (s.action == SyncPlan::Action::Conflict && s.reason != SyncPlan::Reason::DeletedOnServer)
            contested << s.href;
    if (!contested.isEmpty()) {
        QList<MultiStatus::Response> fetched;
        QString error;
        if (!m_client.multiget(m_collection, contested, fetched, error)) {
            m_result.error = error + QStringLiteral(". Nothing was published.");
            return false;
        }
        QHash<QString, QByteArray> hashOf;
        for (const MultiStatus::Response& f : fetched) {
            QList<CalendarEvent> parsed;
            QString why;
            if (ICalendarFile::readEvents(f.calendarData, parsed, why) && parsed.size() == 1)
                hashOf.insert(CalDavClient::normalHref(m_collection, f.href),
                              OutgoingEvents::contentHash(ICalendarFile::canonical(parsed.constFirst())));
        }
        for (SyncPlan::Remote& r : p.remote)
            r.hash = hashOf.value(r.href);
    }
    p.steps = SyncPlan::plan(p.locals, p.known, p.remote, m_force);
    return true;
}

void PublishEngine::send(Plan& p)
{
    for (qsizetype i = 0; i < p.steps.size(); ++i) {
        const SyncPlan::Step& s = p.steps.at(i);
        const qsizetype e = p.out.byUid.value(s.uid, -1);
        if (s.action == SyncPlan::Action::Delete)
            p.requests << CalDavClient::deleteRequest(m_collection, s.href, s.ifMatch);
        else if (s.action == SyncPlan::Action::Create || s.action == SyncPlan::Action::Update)
            p.requests << CalDavClient::putRequest(
                m_collection, s.href, OutgoingEvents::wireText(p.out.events.at(e), p.now, p.notes),
                s.action == SyncPlan::Action::Create ? QString() : s.ifMatch);
        else
            continue;
        p.requestOfStep.insert(i, p.requests.size() - 1);
    }
    p.replies = m_client.send(p.requests);
    // What the server holds of ours after the replies; foreign events a sync saw stay as they are.
    for (const SyncPlan::Known& k : p.known + p.foreign)
        p.next.insert(k.uid, k);
}

void PublishEngine::recordStep(Plan& p, qsizetype i)
{
    const SyncPlan::Step& s = p.steps.at(i);
    const qsizetype e = p.out.byUid.value(s.uid, -1);
    const CalendarEvent* event = e >= 0 ? &p.out.events.at(e) : nullptr;
    const QString what = event ? QStringLiteral("%1 (%2)").arg(s.uid, event->summary) : s.uid;
    switch (s.action) {
    case SyncPlan::Action::Conflict:
        ++m_result.conflicts;
        m_sink.line(QStringLiteral("conflict"),
                    QStringLiteral("%1: %2; left alone").arg(what, conflictText(s.reason)));
        return;
    case SyncPlan::Action::Forget:
        p.next.remove(s.uid);
        return;
    case SyncPlan::Action::Untouched:
        // Recorded with its content, and the server's ETag where it stood in our way with the same.
        if (event)
            p.next.insert(
                s.uid, OutgoingEvents::knownFrom(*event, s.href,
                                                 s.ifMatch.isEmpty() ? p.next.value(s.uid).etag : s.ifMatch,
                                                 p.out.contents.at(e)));
        return;
    default:
        break;
    }
    const qsizetype r = p.requestOfStep.value(i, -1);
    if (r < 0)
        return;
    const CalDavClient::Reply& reply = p.replies.at(r);
    const bool gone = s.action == SyncPlan::Action::Delete && (reply.status == 404 || reply.status == 410);
    if (!reply.ok() && !gone) {
        m_result.failures << m_client.describeFailure(p.requests.at(r), reply);
        m_sink.line(QStringLiteral("failed"),
                    QStringLiteral("%1: %2").arg(what, m_result.failures.constLast()));
        return;
    }
    const QString forced = s.forced ? QStringLiteral(" (forced: %1)").arg(conflictText(s.reason)) : QString();
    if (s.action == SyncPlan::Action::Delete) {
        p.next.remove(s.uid);
        ++m_result.removed;
        m_sink.line(QStringLiteral("removed"), s.uid + forced);
        return;
    }
    p.next.insert(s.uid, OutgoingEvents::knownFrom(*event, s.href, QString::fromUtf8(reply.etag),
                                                   p.out.contents.at(e)));
    p.missingEtags = p.missingEtags || reply.etag.isEmpty();
    if (s.action == SyncPlan::Action::Create && !s.forced) {
        ++m_result.added;
        m_sink.line(QStringLiteral("added"), what);
    } else {
        ++m_result.changed;
        m_sink.line(QStringLiteral("changed"), what + forced);
    }
}

bool PublishEngine::save(Plan& p)
{
    if (p.missingEtags)
        fillMissingEtags(m_client, m_collection, p.next);
    const QByteArray before = m_state.toJson();
    m_state.setEvents(m_shownUrl, p.next.values());
    QString error;
    const QString path = SyncEngine::statePath(m_year.yearsDir(), m_year.year());
    if ((m_state.toJson() != before || m_state.migrated()) && !m_state.save(path, error)) {
        m_result.error =
            QStringLiteral("%1: %2. The server was changed, but this record of it could not be kept; "
                           "the next publish will report the changed events as conflicts.")
                .arg(QDir::toNativeSeparators(path), error);
        return false;
    }
    return true;
}
