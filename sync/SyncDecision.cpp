#include "SyncDecision.h"

#include <QHash>
#include <QSet>

namespace {

using Step = SyncDecision::Step;
using Reason = SyncDecision::Reason;
using ToServer = SyncDecision::ToServer;
using Here = SyncDecision::Here;
using Base = SyncDecision::Base;

Step send(Step s, ToServer to, const QString& ifMatch, Reason reason)
{
    s.toServer = to;
    s.ifMatch = ifMatch;
    s.base = to == ToServer::Delete ? Base::Drop : Base::Local;
    s.reason = reason;
    return s;
}

Step take(Step s, Here here, Reason reason)
{
    s.here = here;
    s.base = here == Here::Remove ? Base::Drop : Base::Remote;
    s.reason = reason;
    return s;
}

// Red days new here that a foreign event being taken in gives as they stand: that event's, not ours to send.
QSet<qsizetype> givenByForeign(const QList<SyncDecision::Local>& locals, const QList<SyncPlan::Known>& known,
                               const QList<SyncDecision::Remote>& remotes,
                               const QHash<QString, qsizetype>& localByKey)
{
    QSet<QString> knownOurs, foreignHrefs;
    QHash<QString, QString> etagOf;
    for (const SyncPlan::Known& k : known) {
        (k.foreign ? foreignHrefs : knownOurs).insert(k.foreign ? k.href : k.uid);
        etagOf.insert(k.href, k.etag);
    }
    QSet<qsizetype> given;
    for (const SyncDecision::Remote& r : remotes) {
        const bool taken =
            r.fetched && !r.ours && r.holdable &&
            (!etagOf.contains(r.href) || (foreignHrefs.contains(r.href) && etagOf.value(r.href) != r.etag));
        if (!taken)
            continue;
        for (auto it = r.gives.cbegin(); it != r.gives.cend(); ++it) {
            const qsizetype l = localByKey.value(it.key(), -1);
            if (l >= 0 && locals.at(l).dayHash == it.value() && !knownOurs.contains(locals.at(l).uid))
                given.insert(l);
        }
    }
    return given;
}

} // namespace

namespace {

// The tables decide() works from, and one method per kind of item.
class Decider
{
public:
    Decider(const QList<SyncDecision::Local>& locals, const QList<SyncPlan::Known>& known,
            const QList<SyncDecision::Remote>& remotes, SyncDecision::Prefer prefer,
            const QHash<QString, SyncDecision::Prefer>& settled)
        : m_locals(locals), m_known(known), m_remotes(remotes), m_prefer(prefer), m_settled(settled)
    {
        for (qsizetype i = 0; i < remotes.size(); ++i) {
            m_remoteByHref.insert(remotes.at(i).href, i);
            if (remotes.at(i).fetched && !remotes.at(i).uid.isEmpty())
                m_remoteByUid.insert(remotes.at(i).uid, i);
        }
        for (qsizetype i = 0; i < locals.size(); ++i) {
            m_localByUid.insert(locals.at(i).uid, i);
            if (!locals.at(i).key.isEmpty())
                m_localByKey.insert(locals.at(i).key, i);
        }
        m_grouped = givenByForeign(locals, known, remotes, m_localByKey);
    }

    QList<Step> decide()
    {
        for (const SyncPlan::Known& k : m_known) {
            m_decided.insert(k.uid);
            Step s;
            s.uid = k.uid;
            s.href = k.href;
            s.remote = m_remoteByHref.value(k.href, -1);
            if (s.remote >= 0)
                m_claimed.insert(s.remote);
            m_steps << (k.foreign ? knownForeign(k, s) : knownOurs(k, s));
        }
        for (qsizetype l = 0; l < m_locals.size(); ++l)
            if (!m_decided.contains(m_locals.at(l).uid) && !m_grouped.contains(l))
                m_steps << newHere(l);
        for (qsizetype r = 0; r < m_remotes.size(); ++r)
            if (!m_claimed.contains(r) && m_remotes.at(r).fetched)
                m_steps << newThere(r);
        return m_steps;
    }

private:
    // Its red days that the planner left as they came; a changed one is the planner's own now. One removed
    // here only leaves the group: the object stays as the other client made it (changing someone else's
    // event to drop a day could lose what the year cannot hold), and it gives the day again only when it
    // changes there.
    Step knownForeign(const SyncPlan::Known& k, Step s)
    {
        QHash<QString, QByteArray> held;
        for (auto it = k.days.cbegin(); it != k.days.cend(); ++it) {
            const qsizetype l = m_localByKey.value(it.key(), -1);
            if (l >= 0 && m_locals.at(l).dayHash == it.value() && !m_grouped.contains(l)) {
                held.insert(it.key(), it.value());
                m_grouped.insert(l);
            }
        }
        const qsizetype r = s.remote;
        // Taken in (or left alone) once; again only when someone changes it.
        if (r < 0) {
            s.base = Base::Drop;
            if (!held.isEmpty()) {
                s.here = Here::Remove;
                s.reason = Reason::RemovedThere;
                s.dropDays = held.keys();
            }
        } else if (m_remotes.at(r).etag != k.etag) {
            s = take(s, m_remotes.at(r).holdable ? Here::Import : Here::None,
                     m_remotes.at(r).holdable ? Reason::Foreign : Reason::Unholdable);
            s.base = Base::Foreign;
            if (m_remotes.at(r).holdable)
                s.dropDays = held.keys(); // given again by what it is now
            else
                s.keepDays = held;
        } else {
            s.keepDays = held;
        }
        s.dropDays.sort();
        return s;
    }

    Step knownOurs(const SyncPlan::Known& k, Step s)
    {
        const qsizetype r = s.remote;
        const qsizetype l = m_localByUid.value(k.uid, -1);
        s.local = l;
        const bool here = l >= 0;
        const bool there = r >= 0;
        const bool changedHere = !here || m_locals.at(l).content != k.content;
        bool changedThere = !there || m_remotes.at(r).etag != k.etag;
        if (there && changedThere && m_remotes.at(r).fetched && m_remotes.at(r).content == k.content)
            changedThere = false; // saved again unchanged: only the ETag is new
        if (there && changedThere && !m_remotes.at(r).fetched)
            return s; // changed there, but not read: decided when it can be, never taken for a deletion
        const QString etagThere = there ? m_remotes.at(r).etag : QString();
        const bool holdable = there && m_remotes.at(r).holdable;

        if (!changedHere && !changedThere) {
            if (there && m_remotes.at(r).etag != k.etag) {
                s.base = Base::Remote;
                s.reason = Reason::SameOnBoth;
            }
        } else if (changedHere && !changedThere) {
            s = here ? send(s, ToServer::Update, k.etag, Reason::ChangedHere)
                     : send(s, ToServer::Delete, k.etag, Reason::RemovedHere);
        } else if (!changedHere && changedThere) {
            s = take(s, holdable ? Here::Apply : Here::Remove,
                     there ? Reason::ChangedThere : Reason::RemovedThere);
        } else if (!here && !there) {
            s.base = Base::Drop;
        } else if (here && there && m_remotes.at(r).fetched &&
                   m_remotes.at(r).content == m_locals.at(l).content) {
            s.base = Base::Remote;
            s.reason = Reason::SameOnBoth;
        } else {
            s.conflict = true;
            const Reason reason = here && there ? Reason::BothChanged
                                  : here        ? Reason::ChangedHereRemovedThere
                                                : Reason::RemovedHereChangedThere;
            const SyncDecision::Prefer prefer = preferFor(s.uid);
            s.reason = reason;
            if (prefer == SyncDecision::Prefer::Planner)
                s = here ? send(s, there ? ToServer::Update : ToServer::Create, etagThere, reason)
                         : send(s, ToServer::Delete, etagThere, reason);
            else if (prefer == SyncDecision::Prefer::Server)
                s = take(s, holdable ? Here::Apply : Here::Remove, reason);
        }
        return s;
    }

    Step newHere(qsizetype l)
    {
        const SyncDecision::Local& local = m_locals.at(l);
        m_decided.insert(local.uid);
        Step s;
        s.uid = local.uid;
        s.href = local.href;
        s.local = l;
        qsizetype r = m_remoteByUid.value(local.uid, -1);
        if (r < 0)
            r = m_remoteByHref.value(local.href, -1);
        if (r >= 0 && m_claimed.contains(r))
            r = -1;
        if (r < 0)
            return send(s, ToServer::Create, QString(), Reason::NewHere);
        m_claimed.insert(r);
        s.remote = r;
        s.href = m_remotes.at(r).href;
        if (m_remotes.at(r).fetched && m_remotes.at(r).content == local.content) {
            s.base = Base::Remote;
            s.reason = Reason::SameOnBoth;
            return s;
        }
        s.conflict = true;
        s.reason = Reason::BothNew;
        const SyncDecision::Prefer prefer = preferFor(s.uid);
        if (prefer == SyncDecision::Prefer::Ask)
            return s;
        return prefer == SyncDecision::Prefer::Planner || !m_remotes.at(r).holdable
                   ? send(s, ToServer::Update, m_remotes.at(r).etag, Reason::BothNew)
                   : take(s, Here::Apply, Reason::BothNew);
    }

    SyncDecision::Prefer preferFor(const QString& uid) const { return m_settled.value(uid, m_prefer); }

    Step newThere(qsizetype r)
    {
        const SyncDecision::Remote& remote = m_remotes.at(r);
        Step s;
        s.uid = remote.uid;
        s.href = remote.href;
        s.remote = r;
        if (remote.ours && remote.holdable && !m_decided.contains(remote.uid)) {
            s = take(s, Here::Apply, Reason::NewThere);
        } else if (!remote.ours && remote.holdable) {
            s = take(s, Here::Import, Reason::Foreign);
            s.base = Base::Foreign;
        } else {
            s.reason = Reason::Unholdable;
            s.base = Base::Foreign;
        }
        m_decided.insert(remote.uid);
        return s;
    }

    const QList<SyncDecision::Local>& m_locals;
    const QList<SyncPlan::Known>& m_known;
    const QList<SyncDecision::Remote>& m_remotes;
    SyncDecision::Prefer m_prefer;
    const QHash<QString, SyncDecision::Prefer>& m_settled;
    QHash<QString, qsizetype> m_remoteByHref, m_remoteByUid, m_localByUid, m_localByKey;
    QList<Step> m_steps;
    QSet<qsizetype> m_claimed; // remotes that belong to a known or local item
    QSet<QString> m_decided;
    QSet<qsizetype> m_grouped; // red days that are a foreign event's, not ours to send
};

} // namespace

QList<SyncDecision::Step> SyncDecision::decide(const QList<Local>& locals,
                                               const QList<SyncPlan::Known>& known,
                                               const QList<Remote>& remotes, Prefer prefer, bool outgoing,
                                               const QHash<QString, Prefer>& settled)
{
    QList<Step> steps = Decider(locals, known, remotes, prefer, settled).decide();
    if (!outgoing) {
        // Pull: nothing goes to the server, and what would have gone stays pending.
        for (Step& s : steps) {
            if (s.toServer == ToServer::None)
                continue;
            s.toServer = ToServer::None;
            s.ifMatch.clear();
            s.base = Base::Keep;
        }
    }
    return steps;
}
