#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// One event of an exported year, in plain values: the calendar writer turns it into iCalendar.
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
    // Timed events (alarms): the moment in local wall-clock time, with a display alarm at that moment.
    bool timed = false;
    QTime startTime;
};
