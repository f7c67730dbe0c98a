#pragma once

#include "CalDavClient.h"
#include "CalendarEvent.h"
#include "ImportedHoliday.h"
#include "OutgoingEvents.h"
#include "SyncDecision.h"
#include "SyncEngine.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>

// The tables one round of a sync builds, step by step.
struct SyncEngine::Round
{
    QList<SyncPlan::Known> known;
    QHash<QString, qsizetype> knownByHref, knownByUid;
    QDateTime now;
    QStringList notes;
    OutgoingEvents out;
    QList<SyncDecision::Local> locals;
    QHash<QString, qsizetype> localByKey;

    QList<SyncDecision::Remote> remotes;
    QHash<QString, qsizetype> remoteAt;
    QList<CalendarEvent> serverEvents;                // per remote, where fetched
    QHash<qsizetype, QByteArray> serverData;          // per fetched remote, as the server sent it
    QHash<qsizetype, QList<ImportedHoliday>> givenBy; // per foreign remote: the red days it gives
    QHash<qsizetype, QStringList> leftBy;             // per foreign remote: what of it the year cannot hold
    QString token;                                    // the listing's sync token
    bool tokenSound = false; // every change it names was fetched: the next listing may start from it
    bool deltaEmpty = false; // a delta, and nothing changed since the token

    QList<SyncDecision::Step> steps;
    QList<CalDavClient::Request> requests;
    QHash<qsizetype, qsizetype> requestOfStep;
    QList<CalDavClient::Reply> replies;

    QHash<QString, SyncPlan::Known> next; // the record being built
    QHash<QString, QStringList> tiedDays; // foreign UID -> day keys its import gave or found
    bool missingEtags = false;

    const SyncPlan::Known* knownOf(const QString& uid) const
    {
        const qsizetype i = knownByUid.value(uid, -1);
        return i >= 0 ? &known.at(i) : nullptr;
    }
    const CalendarEvent* localOf(const SyncDecision::Step& s) const
    {
        return s.local >= 0 ? &out.events.at(s.local) : nullptr;
    }
    const CalendarEvent* serverOf(const SyncDecision::Step& s) const
    {
        return s.remote >= 0 && remotes.at(s.remote).fetched ? &serverEvents.at(s.remote) : nullptr;
    }
};
