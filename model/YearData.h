#pragma once

#include "AlarmRecord.h"
#include "DayMarkRecord.h"
#include "DisplaySettings.h"
#include "ProjectRecord.h"
#include "RecordList.h"
#include "RedDayRecord.h"
#include "StringList.h"

// Everything stored about one calendar year: the settings it is drawn with and its eight lists. Per-day
// lists are indexed by Calendar::dayOfYear() and hold kDayListSize entries while a year is shown; entry 0
// and 367..369 are never addressed. m_names runs parallel to m_projects.
struct YearData
{
    static constexpr qsizetype kDayListSize = 370;

    DisplaySettings m_settings{};
    RecordList<DayMarkRecord> m_dayMarks;
    RecordList<RedDayRecord> m_redDays;
    RecordList<ProjectRecord> m_projects;
    RecordList<AlarmRecord> m_alarms;
    StringList m_names;
    StringList m_memos;
    StringList m_alarmTexts;
    StringList m_redTexts;

    // Settings all zero, no projects, and every per-day list at kDayListSize empty entries.
    void reset();
    // Whether the per-day lists (day marks aside) hold entry `dayIndex`; a damaged file can leave them short.
    bool holdsDayEntries(qsizetype dayIndex) const;
    // The same with the day marks too.
    bool holdsDay(qsizetype dayIndex) const
    {
        return holdsDayEntries(dayIndex) && dayIndex < m_dayMarks.count();
    }
    // The year shown: m_settings.m_stSelected.wYear.
    int year() const { return m_settings.m_stSelected.wYear; }

    friend bool operator==(const YearData& a, const YearData& b);
};
