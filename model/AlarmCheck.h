#pragma once

#include "SystemTime.h"

#include <QString>

#include <optional>

struct YearData;

// Which of a year's alarms is due. An alarm is due once the local wall clock has reached its moment (to
// the second, no zone arithmetic: both sides are local time), while it is on and has not fired. Alarms are
// one-shot: the caller marks a reported alarm fired.
class AlarmCheck
{
public:
    // The first due alarm in day order (earlier days first), as its day of the year.
    static std::optional<int> firstDue(const YearData& year, const SYSTEMTIME& now);
    // Whether an alarm is on, has not fired and names a real moment (due already or later).
    static bool hasPending(const YearData& year);
    // "%H:%M   %A, %B %d, %Y", an empty line, then the alarm's text.
    static QString message(const YearData& year, int dayIndex);
};
