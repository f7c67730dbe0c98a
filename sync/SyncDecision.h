#pragma once

#include "SyncPlan.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What a two-way sync does to each item, decided before any request is sent from three tables: the year's
// events now (UID -> content), what the last sync agreed with the server (UID -> href, ETag, content) and
// the server now (href -> ETag, and the content of every object whose ETag is not the known one).
//
// Per item: changed on one side only, that side's version goes to the other; changed on both to the same
// content, nothing is sent; changed on both differently, a conflict: the planner's version wins unless
// the server is preferred. A deletion is a change like any other. Contents are compared in
// ICalendarFile::canonical form, so a client that saves an event again unchanged changes nothing.
// Foreign objects (not the planner's) that the year can hold (all-day events) become red days once; the
// others are left alone and listed once. The red days a foreign event gives over several days stay that
// object's (Known::days): never sent as events of ours, removed here when it is deleted there and taken in
// again when it changes. A day of them changed in the planner leaves the group and becomes an event of
// ours for that day alone; one removed in the planner only leaves the group (the object stays the phone's).
// A red day new here that is what a foreign event being taken in gives that day is that event's too, never
// a second event of ours: so a run cut between the year's save and its record doubles nothing. A foreign
// event is never changed or deleted on the server.
class SyncDecision
{
public:
    // Ask: a conflict changes neither side; both versions wait in the conflict store for the user.
    enum class Prefer { Planner, Server, Ask };
    enum class ToServer { None, Create, Update, Delete };
    enum class Here { None, Apply, Remove, Import };
    // What the record of the item becomes once the step is carried out.
    enum class Base { Keep, Local, Remote, Drop, Foreign };
    enum class Reason {
        None,
        NewHere,
        ChangedHere,
        RemovedHere,
        NewThere,
        ChangedThere,
        RemovedThere,
        SameOnBoth,  // both changed to the same content, or the ETag changed alone
        BothChanged, // conflict
        ChangedHereRemovedThere,
        RemovedHereChangedThere,
        BothNew,    // conflict: no record, and the two differ
        Foreign,    // a foreign event taken in as red days
        Unholdable, // left on the server: the year cannot hold it
    };

    struct Local
    {
        QString uid;
        QString href; // where a new event goes
        QByteArray content;
        // A red day's YearItems::dayKey and the hash it is compared with Known::days by; empty otherwise.
        QString key;
        QByteArray dayHash;
    };
    struct Remote
    {
        QString href;
        QString etag;
        bool fetched = false; // content, uid, ours and holdable are set
        QString uid;
        QByteArray content;
        bool ours = false;
        bool holdable = false;
        // Of another client's all-day event: the red days it gives the year, by YearItems::dayKey, with
        // the hash of each as the year would hold it (OutgoingEvents::redDayHash).
        QHash<QString, QByteArray> gives;
    };

    struct Step
    {
        QString uid;
        QString href;
        ToServer toServer = ToServer::None;
        QString ifMatch; // for Update and Delete; Create sends If-None-Match: *
        Here here = Here::None;
        Base base = Base::Keep;
        Reason reason = Reason::None;
        bool conflict = false;
        qsizetype local = -1;  // index into the locals, or -1
        qsizetype remote = -1; // index into the remotes, or -1
        // Of a foreign event's red days: the day keys to remove here (the event went or changed there),
        // and those still its own afterwards when it is unchanged.
        QStringList dropDays;
        QHash<QString, QByteArray> keepDays;
    };

    // `outgoing` false is pull: nothing goes to the server, and what would have gone stays pending
    // (its record is kept as it was). `settled`: the side the user chose for a conflict, by UID.
    static QList<Step> decide(const QList<Local>& locals, const QList<SyncPlan::Known>& known,
                              const QList<Remote>& remotes, Prefer prefer, bool outgoing = true,
                              const QHash<QString, Prefer>& settled = {});
};
