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

QList<SyncDecision::Step> SyncDecision::decide(const QList<Local>& locals,
                                               const QList<SyncPlan::Known>& known,
                                               const QList<Remote>& remotes, Prefer prefer, bool outgoing)
{
    QHash<QString, qsizetype> remoteByHref, remoteByUid;
    for (qsizetype i = 0; i < remotes.size(); ++i) {
        remoteByHref.insert(remotes.at(i).href, i);
        if (remotes.at(i).fetched && !remotes.at(i).uid.isEmpty())
            remoteByUid.insert(remotes.at(i).uid, i);
    }
    QHash<QString, qsizetype> localByUid, localByKey;
    for (qsizetype i = 0; i < locals.size(); ++i) {
        localByUid.insert(locals.at(i).uid, i);
        if (!locals.at(i).key.isEmpty())
            localByKey.insert(locals.at(i).key, i);
    }

    QList<Step> steps;
    QSet<qsizetype> claimed; // remotes that belong to a known or local item
    QSet<QString> decided;
    QSet<qsizetype> grouped = givenByForeign(locals, known, remotes, localByKey);

    for (const SyncPlan::Known& k : known) {
        decided.insert(k.uid);
        const qsizetype r = remoteByHref.value(k.href, -1);
        if (r >= 0)
            claimed.insert(r);
        Step s;
        s.uid = k.uid;
        s.href = k.href;
        s.remote = r;
        if (k.foreign) {
            // Its red days that the planner left as they came; a changed one is the planner's own now. One
            // removed here only leaves the group: the object stays as the other client made it (changing
            // someone else's event to drop a day could lose what the year cannot hold), and it gives the
            // day again only when it changes there.
            QHash<QString, QByteArray> held;
            for (auto it = k.days.cbegin(); it != k.days.cend(); ++it) {
                const qsizetype l = localByKey.value(it.key(), -1);
                if (l >= 0 && locals.at(l).dayHash == it.value() && !grouped.contains(l)) {
                    held.insert(it.key(), it.value());
                    grouped.insert(l);
                }
            }
            // Taken in (or left alone) once; again only when someone changes it.
            if (r < 0) {
                s.base = Base::Drop;
                if (!held.isEmpty()) {
                    s.here = Here::Remove;
                    s.reason = Reason::RemovedThere;
                    s.dropDays = held.keys();
                }
            } else if (remotes.at(r).etag != k.etag) {
                s = take(s, remotes.at(r).holdable ? Here::Import : Here::None,
                         remotes.at(r).holdable ? Reason::Foreign : Reason::Unholdable);
                s.base = Base::Foreign;
                if (remotes.at(r).holdable)
                    s.dropDays = held.keys(); // given again by what it is now
                else
                    s.keepDays = held;
            } else {
                s.keepDays = held;
            }
            s.dropDays.sort();
            steps << s;
            continue;
        }
        const qsizetype l = localByUid.value(k.uid, -1);
        s.local = l;
        const bool here = l >= 0;
        const bool there = r >= 0;
        const bool changedHere = !here || locals.at(l).content != k.content;
        bool changedThere = !there || remotes.at(r).etag != k.etag;
        if (there && changedThere && remotes.at(r).fetched && remotes.at(r).content == k.content)
            changedThere = false; // saved again unchanged: only the ETag is new
        const QString etagThere = there ? remotes.at(r).etag : QString();

        if (!changedHere && !changedThere) {
            if (there && remotes.at(r).etag != k.etag) {
                s.base = Base::Remote;
                s.reason = Reason::SameOnBoth;
            }
        } else if (changedHere && !changedThere) {
            s = here ? send(s, ToServer::Update, k.etag, Reason::ChangedHere)
                     : send(s, ToServer::Delete, k.etag, Reason::RemovedHere);
        } else if (!changedHere && changedThere) {
            s = there ? take(s, remotes.at(r).holdable ? Here::Apply : Here::Remove, Reason::ChangedThere)
                      : take(s, Here::Remove, Reason::RemovedThere);
        } else if (!here && !there) {
            s.base = Base::Drop;
        } else if (here && there && remotes.at(r).fetched && remotes.at(r).content == locals.at(l).content) {
            s.base = Base::Remote;
            s.reason = Reason::SameOnBoth;
        } else {
            s.conflict = true;
            const Reason reason = here && there ? Reason::BothChanged
                                  : here        ? Reason::ChangedHereRemovedThere
                                                : Reason::RemovedHereChangedThere;
            if (prefer == Prefer::Planner)
                s = here ? send(s, there ? ToServer::Update : ToServer::Create, etagThere, reason)
                         : send(s, ToServer::Delete, etagThere, reason);
            else
                s = there ? take(s, remotes.at(r).holdable ? Here::Apply : Here::Remove, reason)
                          : take(s, Here::Remove, reason);
        }
        steps << s;
    }

    for (qsizetype l = 0; l < locals.size(); ++l) {
        const Local& local = locals.at(l);
        if (decided.contains(local.uid) || grouped.contains(l))
            continue;
        decided.insert(local.uid);
        Step s;
        s.uid = local.uid;
        s.href = local.href;
        s.local = l;
        qsizetype r = remoteByUid.value(local.uid, -1);
        if (r < 0)
            r = remoteByHref.value(local.href, -1);
        if (r >= 0 && claimed.contains(r))
            r = -1;
        if (r < 0) {
            s = send(s, ToServer::Create, QString(), Reason::NewHere);
        } else {
            claimed.insert(r);
            s.remote = r;
            s.href = remotes.at(r).href;
            if (remotes.at(r).fetched && remotes.at(r).content == local.content) {
                s.base = Base::Remote;
                s.reason = Reason::SameOnBoth;
            } else {
                s.conflict = true;
                s = prefer == Prefer::Planner || !remotes.at(r).holdable
                        ? send(s, ToServer::Update, remotes.at(r).etag, Reason::BothNew)
                        : take(s, Here::Apply, Reason::BothNew);
            }
        }
        steps << s;
    }

    for (qsizetype r = 0; r < remotes.size(); ++r) {
        const Remote& remote = remotes.at(r);
        if (claimed.contains(r) || !remote.fetched)
            continue;
        Step s;
        s.uid = remote.uid;
        s.href = remote.href;
        s.remote = r;
        if (remote.ours && remote.holdable && !decided.contains(remote.uid)) {
            s = take(s, Here::Apply, Reason::NewThere);
        } else if (!remote.ours && remote.holdable) {
            s = take(s, Here::Import, Reason::Foreign);
            s.base = Base::Foreign;
        } else {
            s.reason = Reason::Unholdable;
            s.base = Base::Foreign;
        }
        decided.insert(remote.uid);
        steps << s;
    }

    if (!outgoing) {
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
