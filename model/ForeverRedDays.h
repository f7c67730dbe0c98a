#pragma once

#include "RecordList.h"
#include "RedDayRecord.h"
#include "StringList.h"

struct YearData;

// The red days that repeat every year, as read from or written to ForeverRedDays.year: one record and one
// text per entry, at the same position.
struct ForeverRedDays
{
    RecordList<RedDayRecord> m_foreverRedDays;
    StringList m_foreverRedTexts;
    // Entries that have no day in the year shown (29 February in a common year, or a day list too short).
    // Kept so that the next save writes them back instead of dropping them.
    RecordList<RedDayRecord> m_keptDays;
    StringList m_keptTexts;

    void clear();

    // Copies each entry, record and text, onto its day of year.year() (only wMonth and wDay of its date
    // count); of two entries for the same day the later wins. Returns the number of damaged entries: a
    // month and day that form no date in any year (dropped), or a missing text (merged as empty).
    int mergeInto(YearData& year);

    // Rebuilds both lists for saving: every red day of `year` flagged every-year, in day order, with its
    // text, and the kept entries slotted in by month and day.
    void collectFrom(const YearData& year);
};
