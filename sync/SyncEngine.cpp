#include "SyncEngine.h"

#include "CalDavClient.h"
#include "CalendarExport.h"
#include "ConflictStore.h"
#include "ICalendarFile.h"
#include "SyncRound.h"
#include "SyncSink.h"
#include "SyncText.h"
#include "SyncYear.h"
#include "TextCodec.h"
#include "YearEdits.h"
#include "YearFileCodec.h"
#include "YearItems.h"

#include <QCryptographicHash>

#include <QDir>

namespace {

// Fewer removals than this never stop a sync, however small the year.
constexpr int kMassDeletion = 5;

bool tooMany(int gone, int of)
{
    return (gone >= kMassDeletion && gone * 2 > of) || (gone >= 3 && gone == of);
}

} // namespace

SyncEngine::SyncEngine(CalDavClient& client, const QUrl& collection, SyncYear& year, SyncSink& sink)
    : m_client(client), m_collection(collection), m_shownUrl(collection.toDisplayString()), m_year(year),
      m_sink(sink)
{
}

QString SyncEngine::statePath(const QString& yearsDir, int year)
{
    return QDir(yearsDir).filePath(PublishState::fileName(year));
}

bool SyncEngine::stop(const QString& error)
{
    m_result.error = error;
    return false;
}

SyncResult SyncEngine::run(const Options& options)
{
    m_options = options;
    m_result = SyncResult{};
    QString error;
    if (!m_state.load(statePath(m_year.yearsDir(), m_year.year()), error)) {
        stop(QStringLiteral("%1: %2. Nothing was changed; remove the file to start afresh.")
                 .arg(QDir::toNativeSeparators(statePath(m_year.yearsDir(), m_year.year())), error));
        return m_result;
    }
    if (!loadConflicts())
        return m_result;
    m_client.setProgress([this](qsizetype done, qsizetype total) { m_sink.progress(done, total); });
    // A round that took one of our items in runs once more: the year's own rendering of what came in (a
    // summary cut, a description added) goes back out, so both sides end equal.
    for (int round = 0; round < 2; ++round) {
        Round r;
        const bool ran = runRound(r, round == 0);
        m_result.pending = ran ? int(m_result.failures.size()) : pendingChanges(r);
        if (!ran)
            break;
        bool again = false;
        for (const SyncDecision::Step& s : r.steps)
            again = again || s.here == SyncDecision::Here::Apply;
        if (!again || options.mode == Mode::Pull || !m_result.failures.isEmpty())
            break;
    }
    m_client.setProgress({});
    m_result.conflictsWaiting = int(m_conflicts.entries().size());
    return m_result;
}

bool SyncEngine::loadConflicts()
{
    m_conflictPath = QDir(m_year.yearsDir()).filePath(ConflictStore::fileName(m_year.year()));
    QString error;
    if (!m_conflicts.load(m_conflictPath, error))
        return stop(QStringLiteral("%1: %2. Nothing was changed.")
                        .arg(QDir::toNativeSeparators(m_conflictPath), error));
    for (const ConflictStore::Entry& e : m_conflicts.entries())
        if (!e.settle.isEmpty())
            m_settled.insert(e.uid, e.settle == QLatin1String("server") ? SyncDecision::Prefer::Server
                                                                        : SyncDecision::Prefer::Planner);
    return true;
}

// What of the year differs from what the server was last known to hold.
int SyncEngine::pendingChanges(const Round& r)
{
    int pending = 0;
    QSet<QString> here;
    for (const SyncDecision::Local& l : r.locals) {
        here.insert(l.uid);
        const SyncPlan::Known* k = r.knownOf(l.uid);
        pending += !k || k->content != l.content ? 1 : 0;
    }
    for (const SyncPlan::Known& k : r.known)
        pending += !k.foreign && !here.contains(k.uid) ? 1 : 0;
    return pending;
}

bool SyncEngine::runRound(Round& r, bool first)
{
    if (!readYear(r) || !list(r))
        return false;
    if (quiet(r))
        return true;
    prepareLocals(r);
    if (!fetch(r))
        return false;
    if (first)
        for (const QString& note : r.notes)
            m_sink.line(QStringLiteral("note"), note);
    decide(r);
    if (!guard(r) || !keepConflicts(r))
        return false;
    send(r);
    if (!takeIn(r))
        return false;
    recordSteps(r);
    return saveState(r);
}

bool SyncEngine::readYear(Round& r)
{
    QString error;
    if (!m_year.read(error))
        return stop(QStringLiteral("%1. Nothing was changed.").arg(error));
    recoverTieJournal();
    r.known = m_state.events(m_shownUrl);
    for (qsizetype i = 0; i < r.known.size(); ++i) {
        r.knownByHref.insert(r.known.at(i).href, i);
        r.knownByUid.insert(r.known.at(i).uid, i);
    }
    return true;
}

// Nothing changed on the server since the token, and the year is as it was when last synced: the record
// stands as it is, without the cost of rendering every item of the year.
bool SyncEngine::quiet(const Round& r) const
{
    const PublishState::Listing last = m_state.listing(m_shownUrl);
    return r.deltaEmpty && m_settled.isEmpty() && !last.yearStamp.isEmpty() &&
           last.yearStamp == yearStamp(m_year.data());
}

QByteArray SyncEngine::yearStamp(const YearData& year)
{
    YearData items = year;
    items.m_settings = DisplaySettings{}; // what a view shows is no item of the calendar
    return QCryptographicHash::hash(YearFileCodec::encode(items), QCryptographicHash::Sha256);
}

void SyncEngine::prepareLocals(Round& r)
{
    r.now = QDateTime::currentDateTimeUtc();
    r.out = OutgoingEvents::prepare(m_year.data(), r.known, r.now, r.notes, [this] { m_sink.breathe(); });
    const QString base = m_collection.path(QUrl::FullyDecoded);
    for (qsizetype i = 0; i < r.out.events.size(); ++i) {
        const CalendarEvent& e = r.out.events.at(i);
        SyncDecision::Local l{e.uid, base + e.uid + QStringLiteral(".ics"), r.out.contents.at(i), {}, {}};
        if (e.kind == CalendarEvent::Kind::RedDay) {
            l.key = YearItems::dayKey(e);
            l.dayHash = OutgoingEvents::redDayHash(e);
            r.localByKey.insert(l.key, i);
        }
        r.locals << l;
    }
}

// By the collection's sync token where the server offers one: what changed since the last run, laid over
// what the record knows, in one small request; else (or when the server forgot the token) a full listing.
bool SyncEngine::list(Round& r)
{
    QString error;
    const PublishState::Listing last = m_state.listing(m_shownUrl);
    const QString token = m_options.useSyncToken ? last.token : QString();
    if (!token.isEmpty()) {
        QList<MultiStatus::Response> changed;
        QStringList removed;
        CalDavClient::DeltaStatus status = CalDavClient::DeltaStatus::Ok;
        if (!m_client.changesSince(m_collection, token, changed, removed, r.token, status, error))
            return stop(error + QStringLiteral(". Nothing was changed."));
        if (status == CalDavClient::DeltaStatus::Ok) {
            r.deltaEmpty = changed.isEmpty() && removed.isEmpty();
            const QSet<QString> gone(removed.cbegin(), removed.cend());
            for (auto it = last.etags.cbegin(); it != last.etags.cend(); ++it)
                if (!gone.contains(it.key()))
                    addRemote(r, it.key(), it.value());
            for (const MultiStatus::Response& m : changed)
                addRemote(r, CalDavClient::normalHref(m_collection, m.href), m.etag);
            r.serverEvents.resize(r.remotes.size());
            return true;
        }
        r.token.clear();
    }
    QList<MultiStatus::Response> members;
    if (!m_client.list(m_collection, members, error, m_options.useSyncToken ? &r.token : nullptr))
        return stop(error + QStringLiteral(". Nothing was changed."));
    for (const MultiStatus::Response& m : members)
        addRemote(r, CalDavClient::normalHref(m_collection, m.href), m.etag);
    r.serverEvents.resize(r.remotes.size());
    return true;
}

void SyncEngine::addRemote(Round& r, const QString& href, const QString& etag)
{
    const qsizetype at = r.remoteAt.value(href, -1);
    if (at >= 0) {
        r.remotes[at].etag = etag;
        return;
    }
    SyncDecision::Remote remote;
    remote.href = href;
    remote.etag = etag;
    r.remoteAt.insert(href, r.remotes.size());
    r.remotes << remote;
}

bool SyncEngine::fetch(Round& r)
{
    QStringList wanted;
    for (const SyncDecision::Remote& remote : r.remotes) {
        const qsizetype k = r.knownByHref.value(remote.href, -1);
        if (k < 0 || r.known.at(k).etag != remote.etag)
            wanted << remote.href;
    }
    r.tokenSound = !r.token.isEmpty();
    if (wanted.isEmpty())
        return true;
    QList<MultiStatus::Response> fetched;
    QString error;
    if (!m_client.multiget(m_collection, wanted, fetched, error))
        return stop(error + QStringLiteral(". Nothing was changed."));
    QSet<QString> missing(wanted.cbegin(), wanted.cend());
    for (const MultiStatus::Response& f : fetched) {
        const qsizetype i = r.remoteAt.value(CalDavClient::normalHref(m_collection, f.href), -1);
        if (i < 0 || f.calendarData.isEmpty())
            continue;
        missing.remove(r.remotes.at(i).href);
        if (!f.etag.isEmpty())
            r.remotes[i].etag = f.etag;
        if (r.serverData.size() % 32 == 31)
            m_sink.breathe();
        readRemote(r, i, f.calendarData);
    }
    // A change not fetched now must be listed again next time: the token stays where it was.
    r.tokenSound = r.tokenSound && missing.isEmpty();
    return true;
}

// One fetched object: ours is read as the item it stands for; another client's all-day event as the red
// days it gives the year.
void SyncEngine::readRemote(Round& r, qsizetype i, const QByteArray& data)
{
    SyncDecision::Remote& remote = r.remotes[i];
    QList<CalendarEvent> parsed;
    QString why;
    QStringList warnings;
    remote.fetched = true;
    r.serverData.insert(i, data);
    if (!ICalendarFile::readEvents(data, parsed, why, &warnings) || parsed.isEmpty()) {
        remote.uid = remote.href;
        return;
    }
    for (const QString& w : warnings)
        m_sink.warning(QStringLiteral("%1: %2").arg(remote.href, w));
    const CalendarEvent& e = parsed.constFirst();
    remote.uid = e.uid;
    remote.ours = e.ours;
    remote.content = ICalendarFile::canonical(e);
    r.serverEvents[i] = e;
    const qsizetype k = r.knownByHref.value(remote.href, -1);
    if (e.ours || (k >= 0 && !r.known.at(k).foreign)) {
        remote.holdable = YearEdits::holds(e, m_year.year());
        return;
    }
    QList<ImportedHoliday> days;
    QStringList skipped;
    if (!e.timed && ICalendarFile::readHolidays(data, m_year.year(), days, skipped, why))
        for (const ImportedHoliday& h : days) {
            const CalendarEvent day = CalendarExport::redDayEvent(
                m_year.year(), h.month, h.day, CalendarExport::plainText(TextCodec::encode(h.text)),
                h.everyYear);
            remote.gives.insert(YearItems::dayKey(day), OutgoingEvents::redDayHash(day));
        }
    remote.holdable = !days.isEmpty();
    r.givenBy.insert(i, days);
    r.leftBy.insert(i, skipped);
}

void SyncEngine::decide(Round& r)
{
    r.steps = SyncDecision::decide(r.locals, r.known, r.remotes, m_options.prefer,
                                   m_options.mode == Mode::Sync, m_settled);
}

// A run that would remove most of one side is a calendar emptied (a reset server, a URL that now names a
// fresh calendar) or a year replaced far more often than a wish: it stops before changing anything.
bool SyncEngine::guard(const Round& r)
{
    if (m_options.allowMassDeletion)
        return true;
    int here = 0, there = 0, onServer = 0;
    for (const SyncDecision::Step& s : r.steps) {
        if (s.here == SyncDecision::Here::Remove)
            here += s.local >= 0 ? 1 : int(s.dropDays.size());
        if (s.toServer == SyncDecision::ToServer::Delete)
            ++there;
    }
    for (const SyncPlan::Known& k : r.known)
        onServer += k.foreign ? int(k.days.size()) : 1;
    if (tooMany(here, int(r.locals.size()))) {
        m_result.massDeletion = true;
        return stop(QStringLiteral("this would remove %1 of the year's %2 items, which are gone from %3 (was "
                                   "the calendar emptied, or is this another one?). Nothing was changed.")
                        .arg(here)
                        .arg(r.locals.size())
                        .arg(m_shownUrl));
    }
    if (tooMany(there, onServer)) {
        m_result.massDeletion = true;
        return stop(QStringLiteral("this would delete %1 of the %2 events the year has on %3, which are gone "
                                   "from the year (was the year's file replaced?). Nothing was changed.")
                        .arg(there)
                        .arg(onServer)
                        .arg(m_shownUrl));
    }
    return true;
}

// Before either side is changed: the version each conflict throws away, or both while the user decides.
// An entry goes once the user's choice is carried out, or when both sides came to agree by themselves.
bool SyncEngine::keepConflicts(const Round& r)
{
    bool changed = false;
    for (const SyncDecision::Step& s : r.steps) {
        if (!s.conflict) {
            if (s.reason == SyncDecision::Reason::SameOnBoth)
                changed = m_conflicts.remove(s.uid) || changed;
            continue;
        }
        changed = true;
        if (m_settled.contains(s.uid)) {
            m_conflicts.remove(s.uid);
            continue;
        }
        const CalendarEvent* local = r.localOf(s);
        const CalendarEvent* server = r.serverOf(s);
        m_conflicts.put({s.uid,
                         local    ? local->summary
                         : server ? server->summary
                                  : QString(),
                         s.toServer != SyncDecision::ToServer::None,
                         local ? QString::fromUtf8(r.out.contents.at(s.local)) : QString(),
                         server ? QString::fromUtf8(r.serverData.value(s.remote)) : QString(),
                         r.now.toString(Qt::ISODate), QString()});
        m_result.conflictFile = m_conflictPath;
    }
    QString error;
    if (changed && !m_conflicts.save(m_conflictPath, error))
        return stop(
            QStringLiteral("%1: %2; the losing side of a conflict could not be kept. Nothing was changed.")
                .arg(QDir::toNativeSeparators(m_conflictPath), error));
    return true;
}

void SyncEngine::send(Round& r)
{
    for (qsizetype i = 0; i < r.steps.size(); ++i) {
        const SyncDecision::Step& s = r.steps.at(i);
        if (s.toServer == SyncDecision::ToServer::None)
            continue;
        if (r.requests.size() % 32 == 31)
            m_sink.breathe();
        r.requestOfStep.insert(i, r.requests.size());
        if (s.toServer == SyncDecision::ToServer::Delete)
            r.requests << CalDavClient::deleteRequest(m_collection, s.href, s.ifMatch);
        else
            r.requests << CalDavClient::putRequest(
                m_collection, s.href, OutgoingEvents::wireText(r.out.events.at(s.local), r.now, r.notes),
                s.toServer == SyncDecision::ToServer::Create ? QString() : s.ifMatch);
    }
    r.replies = m_client.send(r.requests);
}
