// The end of a sync round: the report of each step, and the record of what both sides now hold.
#include "SyncEngine.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "CalDavClient.h"
#include "DurableFile.h"
#include "MissingEtags.h"
#include "SyncRound.h"
#include "SyncSink.h"
#include "SyncText.h"
#include "SyncYear.h"
#include "YearItems.h"

#include <QDir>

namespace {

SyncPlan::Known foreignRecord(const SyncDecision::Step& s, const QString& etag)
{
    SyncPlan::Known n;
    n.uid = s.uid;
    n.href = s.href;
    n.etag = etag;
    n.foreign = true;
    n.days = s.keepDays;
    return n;
}

} // namespace

void SyncEngine::recordSteps(Round& r)
{
    for (qsizetype i = 0; i < r.steps.size(); ++i) {
        const SyncDecision::Step& s = r.steps.at(i);
        const CalendarEvent* local = r.localOf(s);
        const CalendarEvent* server = r.serverOf(s);
        if (s.conflict) {
            ++m_result.conflicts;
            const QString where = QDir::toNativeSeparators(m_result.conflictFile);
            const QString kept =
                s.toServer != SyncDecision::ToServer::None
                    ? QStringLiteral("kept the planner's, the other is kept in %1").arg(where)
                : s.here != SyncDecision::Here::None
                    ? QStringLiteral("kept the server's, the other is kept in %1").arg(where)
                    : QStringLiteral("both are kept, the server's in %1, until one is chosen").arg(where);
            m_sink.line(QStringLiteral("conflict"),
                        QStringLiteral("%1: the planner has %2, the server %3; %4")
                            .arg(SyncText::item(s.uid, local    ? local->summary
                                                       : server ? server->summary
                                                                : QString()),
                                 SyncText::value(local), SyncText::value(server), kept));
        }
        const QString etag = s.remote >= 0 ? r.remotes.at(s.remote).etag : QString();
        if (s.reason == SyncDecision::Reason::Unholdable && s.here == SyncDecision::Here::None &&
            s.base == SyncDecision::Base::Foreign) {
            r.next.insert(s.uid, foreignRecord(s, etag));
            if (server && !server->ours && !m_listed.contains(s.uid)) {
                m_listed.insert(s.uid);
                ++m_result.left;
                m_sink.line(QStringLiteral("left"),
                            QStringLiteral("%1 on the server: %2")
                                .arg(SyncText::item(s.uid, server->summary),
                                     server->timed
                                         ? QStringLiteral("a timed event, which the year cannot hold")
                                         : QStringLiteral("the year cannot hold it")));
            }
            continue;
        }
        if (s.here != SyncDecision::Here::None || s.toServer != SyncDecision::ToServer::None) {
            if (r.requestOfStep.contains(i))
                recordReply(r, i);
            continue;
        }
        const SyncPlan::Known* k = r.knownOf(s.uid);
        if (s.base == SyncDecision::Base::Keep && k && k->foreign)
            r.next[s.uid].days = s.keepDays; // the days changed or removed here are no longer its
        else if (s.base == SyncDecision::Base::Remote && s.remote >= 0)
            r.next.insert(s.uid, OutgoingEvents::knownFrom(local ? *local : *server, s.href, etag,
                                                           r.remotes.at(s.remote).content));
        else if (s.base == SyncDecision::Base::Drop)
            r.next.remove(s.uid);
        else if (s.base == SyncDecision::Base::Foreign && s.remote >= 0 && !r.next.contains(s.uid))
            r.next.insert(s.uid, foreignRecord(s, etag));
        else if (local && s.base == SyncDecision::Base::Keep && k && !s.conflict &&
                 m_options.mode == Mode::Sync && k->content == r.out.contents.at(s.local))
            // Unchanged: the record keeps its content; a revision from an older state is filled in. A
            // conflict that waits keeps its base, so that it stays one until the user chooses.
            r.next.insert(s.uid,
                          OutgoingEvents::knownFrom(*local, s.href, k->etag, r.out.contents.at(s.local)));
    }
}

void SyncEngine::recordReply(Round& r, qsizetype step)
{
    const SyncDecision::Step& s = r.steps.at(step);
    const qsizetype q = r.requestOfStep.value(step);
    const CalDavClient::Reply& reply = r.replies.at(q);
    const CalendarEvent* local = r.localOf(s);
    const SyncPlan::Known* k = r.knownOf(s.uid);
    CalendarEvent lastSeen;
    const bool seen = !local && k && YearItems::baseEvent(*k, lastSeen);
    const QString what = SyncText::item(s.uid, local ? local->summary : seen ? lastSeen.summary : QString());
    const bool gone =
        s.toServer == SyncDecision::ToServer::Delete && (reply.status == 404 || reply.status == 410);
    if (!reply.ok() && !gone) {
        // The record stays as it was: the next run decides the item again.
        m_result.failures << m_client.describeFailure(r.requests.at(q), reply);
        m_sink.line(QStringLiteral("failed"),
                    QStringLiteral("%1: %2").arg(what, m_result.failures.constLast()));
        return;
    }
    if (s.toServer == SyncDecision::ToServer::Delete) {
        r.next.remove(s.uid);
        ++m_result.removed;
        if (!s.conflict)
            m_sink.line(QStringLiteral("removed"), what);
        return;
    }
    r.next.insert(s.uid, OutgoingEvents::knownFrom(*local, s.href, QString::fromUtf8(reply.etag),
                                                   r.out.contents.at(s.local)));
    r.missingEtags = r.missingEtags || reply.etag.isEmpty();
    if (s.toServer == SyncDecision::ToServer::Create && !s.conflict) {
        ++m_result.added;
        m_sink.line(QStringLiteral("added"), what);
    } else {
        ++m_result.changed;
        if (!s.conflict)
            m_sink.line(QStringLiteral("changed"), what);
    }
}

bool SyncEngine::saveState(Round& r)
{
    if (r.missingEtags)
        fillMissingEtags(m_client, m_collection, r.next);
    const QByteArray before = m_state.toJson();
    m_state.setEvents(m_shownUrl, r.next.values());
    // The listing as the server holds it now: what was listed, with what our requests changed.
    PublishState::Listing listing;
    listing.token = r.tokenSound && !r.missingEtags ? r.token : QString();
    for (const SyncDecision::Remote& remote : r.remotes)
        listing.etags.insert(remote.href, remote.etag);
    for (auto it = r.requestOfStep.cbegin(); it != r.requestOfStep.cend(); ++it) {
        const SyncDecision::Step& s = r.steps.at(it.key());
        const CalDavClient::Reply& reply = r.replies.at(it.value());
        if (s.toServer == SyncDecision::ToServer::Delete &&
            (reply.ok() || reply.status == 404 || reply.status == 410))
            listing.etags.remove(s.href);
        else if (s.toServer != SyncDecision::ToServer::Delete && reply.ok())
            listing.etags.insert(s.href, QString::fromUtf8(reply.etag));
        else
            listing.token.clear(); // what a failed request left there is not known: list it all next time
    }
    // Both sides equal now, unless a conflict waits or something did not go: the next run may then skip
    // the year when it is as it is now.
    bool equal = m_options.mode == Mode::Sync && m_result.failures.isEmpty() && !listing.token.isEmpty();
    for (const SyncDecision::Step& s : r.steps)
        // What was taken in is rendered by the year in its own way, which the next round sends.
        equal =
            equal && s.here != SyncDecision::Here::Apply &&
            !(s.conflict && s.toServer == SyncDecision::ToServer::None && s.here == SyncDecision::Here::None);
    if (equal)
        listing.yearStamp = yearStamp(m_year.data());
    m_state.setListing(m_shownUrl, listing);
    QString error;
    const QString path = statePath(m_year.yearsDir(), m_year.year());
    if ((m_state.toJson() != before || m_state.migrated()) && !m_state.save(path, error))
        return stop(
            QStringLiteral("%1: %2. The server and the year were changed, but this record of them "
                           "could not be kept; the next sync finds them equal and records them again.")
                .arg(QDir::toNativeSeparators(path), error));
    QFile::remove(journalPath(m_year.yearsDir(), m_year.year()));
    return true;
}

QString SyncEngine::journalPath(const QString& yearsDir, int year)
{
    return statePath(yearsDir, year) + QStringLiteral(".ties");
}

// The record as it will be once the year is saved.
bool SyncEngine::writeTieJournal(Round& r)
{
    PublishState pending = m_state;
    pending.setEvents(m_shownUrl, r.next.values());
    QString error;
    const QString path = journalPath(m_year.yearsDir(), m_year.year());
    if (!pending.save(path, error))
        return stop(
            QStringLiteral("%1: %2. Nothing was taken in.").arg(QDir::toNativeSeparators(path), error));
    return true;
}

// A journal left by a run cut after it wrote the journal and before its record. Another client's event
// whose days the year holds as the journal has them was taken in: its tie holds, and the calendar is
// listed afresh. One whose days are not there was not saved (or was changed here since) and is decided
// again from the record as it was. A journal that does not read is as none.
void SyncEngine::recoverTieJournal()
{
    const QString path = journalPath(m_year.yearsDir(), m_year.year());
    if (!QFileInfo::exists(path))
        return;
    PublishState pending;
    if (QString error; !pending.load(path, error)) {
        keepDamagedJournal(path, error);
        return;
    }
    const QHash<QString, QByteArray> held = redDayHashes(m_year.data());
    const auto taken = [&held](const SyncPlan::Known& k) {
        return k.foreign && !k.days.isEmpty() &&
               std::all_of(k.days.keyValueBegin(), k.days.keyValueEnd(),
                           [&held](const auto& day) { return held.value(day.first) == day.second; });
    };
    QList<SyncPlan::Known> events = m_state.events(m_shownUrl);
    bool adopted = false;
    for (const SyncPlan::Known& k : pending.events(m_shownUrl)) {
        if (!taken(k))
            continue;
        const auto same = std::find_if(events.begin(), events.end(),
                                       [&k](const SyncPlan::Known& e) { return e.uid == k.uid; });
        if (same != events.end())
            *same = k;
        else
            events.append(k);
        adopted = true;
    }
    if (adopted) {
        m_state.setEvents(m_shownUrl, events);
        m_state.setListing(m_shownUrl, PublishState::Listing{});
    }
    // Kept until a record is written (saveState): a run cut before that finds it again.
}

// The ties it held are lost: the days the cut run took in stand as the year's own.
void SyncEngine::keepDamagedJournal(const QString& path, const QString& error)
{
    QString reason;
    const QString kept = DurableFile::moveAside(path, reason);
    m_sink.line(QStringLiteral("note"),
                kept.isEmpty()
                    ? QStringLiteral("%1 does not read (%2) and could not be moved aside (%3); the red days "
                                     "another client gave in the run before it count as this year's own.")
                          .arg(QDir::toNativeSeparators(path), error, reason)
                    : QStringLiteral("%1 does not read (%2) and is kept as %3; the red days another client "
                                     "gave in the run before it count as this year's own.")
                          .arg(QDir::toNativeSeparators(path), error, QDir::toNativeSeparators(kept)));
}
