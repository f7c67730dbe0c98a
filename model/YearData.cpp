#include "YearData.h"

#include <cstring>

void YearData::reset()
{
    m_settings = DisplaySettings{};
    for (auto* list : {&m_names, &m_memos, &m_alarmTexts, &m_redTexts})
        list->clear();
    m_dayMarks.clear();
    m_redDays.clear();
    m_projects.clear();
    m_alarms.clear();
    m_dayMarks.setCount(kDayListSize);
    m_redDays.setCount(kDayListSize);
    m_alarms.setCount(kDayListSize);
    m_memos.setCount(kDayListSize);
    m_alarmTexts.setCount(kDayListSize);
    m_redTexts.setCount(kDayListSize);
}

bool YearData::holdsDayEntries(qsizetype d) const
{
    return d >= 0 && d < m_redDays.count() && d < m_alarms.count() && d < m_memos.count() &&
           d < m_alarmTexts.count() && d < m_redTexts.count();
}

bool operator==(const YearData& a, const YearData& b)
{
    return std::memcmp(&a.m_settings, &b.m_settings, sizeof(DisplaySettings)) == 0 &&
           a.m_dayMarks == b.m_dayMarks && a.m_redDays == b.m_redDays && a.m_projects == b.m_projects &&
           a.m_alarms == b.m_alarms && a.m_names == b.m_names && a.m_memos == b.m_memos &&
           a.m_alarmTexts == b.m_alarmTexts && a.m_redTexts == b.m_redTexts;
}
