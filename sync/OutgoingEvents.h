#pragma once

#include "CalendarEvent.h"
#include "SyncPlan.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct YearData;

// The year's events as publish and sync send them, under their UIDs, each with its revision: SEQUENCE
// and LAST-MODIFIED stay as last sent while the content is the same, and rise when it changed.
class OutgoingEvents
{
public:
    // `breathe`, when given, is called now and then: the planner's window turns its event loop there.
    static OutgoingEvents prepare(const YearData& year, const QList<SyncPlan::Known>& known,
                                  const QDateTime& now, QStringList& notes,
                                  const std::function<void()>& breathe = {});

    QList<CalendarEvent> events;
    QList<QByteArray> contents; // canonical
    QHash<QString, qsizetype> byUid;

    // The object a PUT sends; a note on the time zone goes into `notes` once.
    static QByteArray wireText(const CalendarEvent& e, const QDateTime& now, QStringList& notes);
    // The record of an event as the server now holds it.
    static SyncPlan::Known knownFrom(const CalendarEvent& e, const QString& href, const QString& etag,
                                     const QByteArray& content);
    static QByteArray contentHash(const QByteArray& text);
    // A red day as the year holds it, whatever UID or revision it goes out under: what tells whether a
    // red day a foreign event gave was changed in the planner since.
    static QByteArray redDayHash(CalendarEvent e);
};
