#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

#include <cstdint>

// One event of an exported year, in plain values: the calendar writer turns it into iCalendar, and the
// reader turns a calendar object back into it, so that what another client changed can be compared field
// by field.
struct CalendarEvent
{
    enum class Kind { Project, RedDay, Memo, Alarm };

    Kind kind = Kind::RedDay;
    QString uid;
    QString summary;
    QString description;
    // All-day events: the first day and the day after the last (exclusive, as iCalendar wants it).
    QDate start;
    QDate endExclusive;
    // Red days that repeat every year carry a yearly rule.
    bool yearly = false;
    // Timed events (alarms): the moment in local wall-clock time, with a display alarm at that moment
    // unless `alarmOn` is false (a client removed the alarm).
    bool timed = false;
    QTime startTime;
    bool alarmOn = true;
    // Projects: the colour (0x00BBGGRR) and the days ticked in the Day dialog.
    bool hasColor = false;
    std::uint32_t color = 0;
    QList<QDate> ticks;

    // Revision: SEQUENCE rises with every change the planner makes; LAST-MODIFIED is when that was.
    int sequence = 0;
    QDateTime lastModified;
    // Read from a calendar object that carries the planner's marker (its UID and X-TOLVA-KIND).
    bool ours = true;
    // Where the export took it from (never written): a project's list position, a day item's day of the
    // year.
    qsizetype position = -1;
    int dayIndex = -1;

    // The text a red day, memo or alarm stands for: the description, which holds the whole text, or the
    // summary when a client left no description.
    QString text() const { return description.isEmpty() ? summary : description; }
};
