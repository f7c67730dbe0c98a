#include "DayChange.h"

#include "InvalidArgument.h"
#include "YearData.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

template <typename T> bool sameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

} // namespace

DayChange::DayChange(const YearData& before, const DayEdit& edit) : m_dayIndex(edit.dayIndex)
{
    const qsizetype d = m_dayIndex;
    if (!before.holdsDayEntries(d))
        throwInvalidArgument("day " + std::to_string(d) + " is not held by the year's lists");
    m_before = {before.m_projects,      before.m_names,
                before.m_memos.at(d),   before.m_redTexts.at(d),
                before.m_redDays.at(d), before.m_alarmTexts.at(d),
                before.m_alarms.at(d),  std::nullopt};
    m_after = {edit.projects,  edit.names, edit.memo,   edit.redText, edit.redDay.value_or(m_before.redDay),
               edit.alarmText, edit.alarm, std::nullopt};
    m_projectsChanged = !(before.m_projects == edit.projects) || !(before.m_names == edit.names);
    m_redDayChanged = !sameBytes(m_before.redDay, m_after.redDay);
    if (before.m_dayMarks.count() != edit.dayMarks.count()) {
        m_before.allMarks = before.m_dayMarks;
        m_after.allMarks = edit.dayMarks;
    } else {
        for (qsizetype i = 0; i < edit.dayMarks.count(); ++i) {
            if (!sameBytes(before.m_dayMarks.at(i), edit.dayMarks.at(i)))
                m_marks.append({i, before.m_dayMarks.at(i), edit.dayMarks.at(i)});
        }
    }
    nameProjectStep();
}

bool DayChange::isEmpty() const
{
    return !m_projectsChanged && !m_redDayChanged && m_marks.isEmpty() && !m_before.allMarks &&
           m_before.memo == m_after.memo && m_before.redText == m_after.redText &&
           m_before.alarmText == m_after.alarmText && sameBytes(m_before.alarm, m_after.alarm);
}

void DayChange::nameProjectStep()
{
    if (!m_projectsChanged)
        return;
    const StringList& was = m_before.names;
    const StringList& is = m_after.names;
    // The dialog appends, replaces in place or removes; the first position that differs names the project.
    qsizetype first = 0;
    const qsizetype common = std::min(was.count(), is.count());
    while (first < common && was.at(first) == is.at(first) &&
           sameBytes(m_before.projects.at(first), m_after.projects.at(first)))
        ++first;
    auto sameFrom = [](const auto& a, qsizetype from, const auto& b, qsizetype to) {
        for (; from < a.count() && to < b.count(); ++from, ++to)
            if (!(a.at(from) == b.at(to)))
                return false;
        return from == a.count() && to == b.count();
    };
    m_projectStep = ProjectStep::Several;
    if (is.count() == was.count() + 1 && first == was.count()) {
        m_projectStep = ProjectStep::Added;
        m_projectName = is.at(first);
    } else if (is.count() + 1 == was.count() && sameFrom(was, first + 1, is, first)) {
        m_projectStep = ProjectStep::Deleted;
        m_projectName = was.at(first);
    } else if (is.count() == was.count() && first < is.count() && sameFrom(was, first + 1, is, first + 1)) {
        m_projectStep = ProjectStep::Changed;
        m_projectName = is.at(first);
    }
}

DayEdit DayChange::editOver(const YearData& now, const Side& side, bool after) const
{
    // Parts this step left alone keep what they hold now; later edits of them stay.
    const Side& other = after ? m_before : m_after;
    const qsizetype d = m_dayIndex;
    DayEdit edit;
    edit.dayIndex = m_dayIndex;
    edit.projects = m_projectsChanged ? side.projects : now.m_projects;
    edit.names = m_projectsChanged ? side.names : now.m_names;
    edit.dayMarks = side.allMarks ? *side.allMarks : now.m_dayMarks;
    for (const MarkChange& m : m_marks)
        edit.dayMarks.at(m.day) = after ? m.after : m.before;
    edit.memo = side.memo == other.memo ? now.m_memos.at(d) : side.memo;
    edit.redText = side.redText == other.redText ? now.m_redTexts.at(d) : side.redText;
    if (m_redDayChanged)
        edit.redDay = side.redDay;
    const bool alarmChanged = side.alarmText != other.alarmText || !sameBytes(side.alarm, other.alarm);
    edit.alarmText = alarmChanged ? side.alarmText : now.m_alarmTexts.at(d);
    edit.alarm = alarmChanged ? side.alarm : now.m_alarms.at(d);
    // An alarm that fired since stays fired when its moment comes back: it never fires twice.
    const AlarmRecord& current = now.m_alarms.at(d);
    if (current.m_bFired != 0 && current.m_stWhen == edit.alarm.m_stWhen)
        edit.alarm.m_bFired = 1;
    return edit;
}
