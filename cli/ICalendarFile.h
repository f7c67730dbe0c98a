#pragma once

#include "CalendarEvent.h"
#include "ImportedHoliday.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// RFC 5545 calendars in and out, through libical; this header names no libical type, and every libical
// object is freed inside the calls.
class ICalendarFile
{
public:
    // No holiday file comes near this; a larger one is refused before libical sees it.
    static constexpr qsizetype kMaxInputSize = qsizetype(16) << 20;

    // The calendar text (UTF-8, CR LF lines) for `events`. Timed events are written in the zone named by
    // `timeZoneId` (an IANA name such as "Europe/Berlin", the zone of the planner's local times), with
    // its VTIMEZONE; in UTC when that zone is UTC; and as floating local times when libical does not know
    // the zone, which `note` then says. `stamp` is the DTSTAMP of every event.
    static QByteArray write(const QList<CalendarEvent>& events, const QByteArray& timeZoneId,
                            const QDateTime& stamp, QString& note);

    // The all-day events of `text` that give `year` a red day. A single event gives each of its days in the
    // year; a rule repeating every year on the event's month and day, without end, gives an every-year
    // day; any other rule gives its occurrences in the year. `skipped` gets one line per event that gives
    // nothing (timed, without a summary, damaged). False with `error` set when `text` is no calendar.
    static bool readHolidays(const QByteArray& text, int year, QList<ImportedHoliday>& days,
                             QStringList& skipped, QString& error);
};
