#pragma once

#include "ImportedHoliday.h"

#include <QList>
#include <QString>

struct YearData;

// What importing holidays into a year does to each day, decided before anything is written: pure, so that
// import-ics and the calendar sync share one rule for a day that already has a red day.
class HolidayPlan
{
public:
    enum class Action {
        Add,     // the day had no red day
        Replace, // another text, or the every-year flag, replaced with --replace
        Same,    // the day already says this: nothing to do
        Keep,    // the day has another red day and --replace was not given
        Taken,   // an earlier event of the same calendar gave this day
        NoDay,   // 29 February in a common year
        Unheld,  // the year's lists are too short for the day (a file that was cut)
    };

    struct Decision
    {
        ImportedHoliday holiday;
        int dayIndex = -1;
        Action action = Action::Keep;
        QString existing; // the day's red-day text before the import
        bool wasEveryYear = false;
    };

    // What importing `days` into `year` would do to each, in calendar order; each decision carries its
    // holiday, so a caller pairs them by that, never by position.
    static QList<Decision> plan(const YearData& year, const QList<ImportedHoliday>& days, bool replace);
};
