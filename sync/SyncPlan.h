#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// What a publish does to each event, decided before any request is sent, from three tables: our events
// now, what the last publish left on the server (UID -> href, ETag and content), and the server's listing
// (href -> ETag). Hrefs are compared as given, so the caller hands in one normal form.
class SyncPlan
{
public:
    struct Local
    {
        QString uid;
        QString href;    // where the event goes: <collection>/<UID>.ics
        QByteArray hash; // of its content, to see whether it changed since the last publish
    };
    struct Known
    {
        QString uid;
        QString href;
        QString etag;
        QByteArray hash;
        // The event as last agreed with the server (ICalendarFile::canonical), the base a sync compares
        // both sides with; empty in a state from before it was kept.
        QByteArray content;
        // A project's position in the year then, for matching projects to their UIDs; -1 for day items.
        int position = -1;
        // A foreign event seen before (taken in as red days, or left alone): not ours to change.
        bool foreign = false;
        // What the content is of, so that a day item is matched without reading the content again:
        // YearItems::dayKey(), or "project"; empty in an older state.
        QString key;
        // The revision last sent, which the next change raises.
        int sequence = 0;
        QString modified; // LAST-MODIFIED then, ISO 8601 in UTC
        // Of a foreign event that gives several red days (a holiday over days, a repeating one): the day
        // key of each red day it gave that the year still holds as given, with the hash of that red day.
        // Those days are the foreign object's, not events of ours to send.
        QHash<QString, QByteArray> days;
    };
    struct Remote
    {
        QString href;
        QString etag;
        // Of the object's content where it was fetched: one equal to ours is no conflict, only news of
        // its ETag (another year, or a run cut short, put the same event there).
        QByteArray hash;
    };

    enum class Action {
        Create,    // PUT with If-None-Match: *
        Update,    // PUT with If-Match: ifMatch
        Delete,    // DELETE with If-Match: ifMatch
        Conflict,  // reported and left alone
        Untouched, // nothing to send (with `ifMatch`, the server's ETag to keep)
        Forget,    // gone here and on the server: only the record goes
    };
    enum class Reason {
        None,
        New,              // Create: not on the server yet
        Changed,          // Update: our content changed
        Removed,          // Delete: the event is gone here
        ChangedOnServer,  // someone else changed our event since the last publish
        DeletedOnServer,  // someone else deleted it
        UnknownOnServer,  // an object stands at our href, but the last publish did not put it there
        RemovedButChanged // gone here, but changed on the server since
    };

    struct Step
    {
        Action action = Action::Untouched;
        Reason reason = Reason::None;
        QString uid;
        QString href;
        QString ifMatch; // the ETag a PUT or DELETE must still find
        bool forced = false;
    };

    // One step per UID in `local` or `known`, in the order of `local` then the removed ones. With `force`
    // a conflict becomes the step that makes the server match `local`. Objects at hrefs that are neither
    // known nor ours are never in the plan.
    static QList<Step> plan(const QList<Local>& local, const QList<Known>& known, const QList<Remote>& remote,
                            bool force);
};
