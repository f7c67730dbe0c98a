#include "DayEdit.h"

#include "InvalidArgument.h"
#include "YearData.h"

#include <string>

void DayEdit::applyTo(YearData& year) const
{
    const qsizetype d = dayIndex;
    // The day marks are replaced whole, so only the edit's own need to hold the day.
    if (!year.holdsDayEntries(d))
        throwInvalidArgument("day " + std::to_string(d) + " is not held by the year's lists");
    // Names and records stay parallel, and the edited day keeps a marks record.
    if (names.count() != projects.count())
        throwInvalidArgument("project names and records differ in number");
    if (d >= dayMarks.count())
        throwInvalidArgument("the edit holds no marks for day " + std::to_string(d));

    year.m_projects = projects;
    year.m_names = names;
    year.m_dayMarks = dayMarks;
    year.m_memos.setAt(d, memo);
    year.m_redTexts.setAt(d, redText);
    if (redDay)
        year.m_redDays.at(d) = *redDay;
    year.m_alarmTexts.setAt(d, alarmText);
    year.m_alarms.at(d) = alarm;
}
