#pragma once

#include "CalendarEvent.h"
#include "ImportedHoliday.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

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
    // the zone, which `note` then says. `stamp` is the DTSTAMP of every event, and its LAST-MODIFIED where
    // the event has none. Projects carry COLOR (the nearest CSS name) with X-TOLVA-COLOR (the exact one)
    // and X-TOLVA-TICKS; every event carries X-TOLVA-KIND and SEQUENCE.
    static QByteArray write(const QList<CalendarEvent>& events, const QByteArray& timeZoneId,
                            const QDateTime& stamp, QString& note);

    // The all-day events of `text` that give `year` a red day. A single event gives each of its days in the
    // year; a rule repeating every year on the event's month and day, without end, gives an every-year
    // day; any other rule gives its occurrences in the year. `skipped` gets one line per event that gives
    // nothing (timed, without a summary, damaged). False with `error` set when `text` is no calendar.
    //
    // Events the planner wrote (see isOurs) are never holidays: each goes to `skipped` as the planner's.
    // `warnings` gets a line for each line of `text` that is not UTF-8 (see toUtf8).
    static bool readHolidays(const QByteArray& text, int year, QList<ImportedHoliday>& days,
                             QStringList& skipped, QString& error, QStringList* warnings = nullptr);

    // Every VEVENT of `text` as the plain values the writer takes, read back from any client's copy: the
    // moment of a timed event in local wall-clock time, the colour from COLOR (CSS name) unless it is
    // still the name of X-TOLVA-COLOR's exact value. False with `error` when `text` is no calendar.
    static bool readEvents(const QByteArray& text, QList<CalendarEvent>& events, QString& error,
                           QStringList* warnings = nullptr);

    // iCalendar is UTF-8. Each logical line (folds joined) that is not is read as Windows-1252, which
    // gives every byte a character, and `warnings` names its first physical line ("line 12 is not UTF-8;
    // read as Windows-1252"). The result is unfolded UTF-8.
    static QByteArray toUtf8(const QByteArray& text, QStringList& warnings);

    // The CSS3 colour name nearest to `color` (0x00BBGGRR), as RFC 7986 COLOR wants it.
    static QString colorName(std::uint32_t color);

    // The calendar text that stands for an event's content alone: no DTSTAMP, SEQUENCE or LAST-MODIFIED
    // that differ. Two events with equal contents have equal texts.
    static QByteArray canonical(CalendarEvent event);
};
