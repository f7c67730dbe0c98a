#pragma once

#include <QString>

// A day that an imported calendar makes a red day of the year imported into.
struct ImportedHoliday
{
    int month = 0;
    int day = 0;
    QString text;
    // From an event that repeats on this month and day every year, with no end.
    bool everyYear = false;
};
