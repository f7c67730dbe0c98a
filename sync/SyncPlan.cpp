#include "SyncPlan.h"

#include <QHash>
#include <QSet>

QList<SyncPlan::Step> SyncPlan::plan(const QList<Local>& local, const QList<Known>& known,
                                     const QList<Remote>& remote, bool force)
{
    QHash<QString, QString> server; // href -> ETag
    QHash<QString, QByteArray> serverHash;
    for (const Remote& r : remote) {
        server.insert(r.href, r.etag);
        if (!r.hash.isEmpty())
            serverHash.insert(r.href, r.hash);
    }
    QHash<QString, const Known*> byUid;
    for (const Known& k : known)
        byUid.insert(k.uid, &k);

    QList<Step> steps;
    QSet<QString> ours;
    for (const Local& l : local) {
        ours.insert(l.uid);
        Step s;
        s.uid = l.uid;
        s.href = l.href;
        const Known* k = byUid.value(l.uid);
        if (!k) {
            if (!server.contains(l.href)) {
                s.action = Action::Create;
                s.reason = Reason::New;
            } else {
                s.action = Action::Conflict;
                s.reason = Reason::UnknownOnServer;
                s.ifMatch = server.value(l.href);
            }
        } else if (!server.contains(k->href)) {
            s.action = Action::Conflict;
            s.reason = Reason::DeletedOnServer;
        } else if (server.value(k->href) != k->etag) {
            s.action = Action::Conflict;
            s.reason = Reason::ChangedOnServer;
            s.ifMatch = server.value(k->href);
            s.href = k->href;
        } else if (k->href != l.href || k->hash != l.hash) {
            // A known event at another href (written by an earlier naming) is replaced where it stands.
            s.action = Action::Update;
            s.reason = Reason::Changed;
            s.href = k->href;
            s.ifMatch = k->etag;
        } else {
            s.action = Action::Untouched;
            s.href = k->href;
            s.ifMatch = k->etag;
        }
        if (s.action == Action::Conflict && s.reason != Reason::DeletedOnServer &&
            serverHash.value(s.href) == l.hash) {
            s.action = Action::Untouched;
            s.reason = Reason::None;
        }
        if (s.action == Action::Conflict && force) {
            s.forced = true;
            s.action = s.reason == Reason::DeletedOnServer ? Action::Create : Action::Update;
        }
        steps << s;
    }

    for (const Known& k : known) {
        if (ours.contains(k.uid))
            continue;
        Step s;
        s.uid = k.uid;
        s.href = k.href;
        if (!server.contains(k.href)) {
            s.action = Action::Forget;
        } else if (server.value(k.href) == k.etag) {
            s.action = Action::Delete;
            s.reason = Reason::Removed;
            s.ifMatch = k.etag;
        } else {
            s.action = Action::Conflict;
            s.reason = Reason::RemovedButChanged;
            s.ifMatch = server.value(k.href);
            if (force) {
                s.forced = true;
                s.action = Action::Delete;
            }
        }
        steps << s;
    }
    return steps;
}
