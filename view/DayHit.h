#pragma once

#include "SystemTime.h"

// What lies under a pointer position in the year grid. The cell's date is not checked: stDate carries
// month 0 or 13 and day 0 or 32 for points beyond the grid, and may name 30 February.
struct DayHit
{
    bool bOnMemo = false;
    bool bOnAlarm = false;
    bool bOnRedDay = false; // inside the day-number box
    int nSlot = -1;         // project slot; -1 when left of slot 0 or when slots have no width
    SYSTEMTIME stDate{};    // shown year, column + 1, row + 1, 00:00:00.000; wDayOfWeek not set
};
