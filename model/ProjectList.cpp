#include "ProjectList.h"

#include "InvalidArgument.h"

#include <algorithm>
#include <cstring>
#include <string>

ProjectRecord ProjectList::withDefaultPeriod(ProjectRecord project)
{
    project.m_stStart.wHour = project.m_stStart.wMinute = project.m_stStart.wSecond = 0;
    project.m_stStart.wMilliseconds = 0;
    project.m_stEnd.wHour = 23;
    project.m_stEnd.wMinute = 59;
    project.m_stEnd.wSecond = 59;
    project.m_stEnd.wMilliseconds = 0;
    return project;
}

void ProjectList::checkPosition(qsizetype position) const
{
    if (position < 0 || position >= m_projects.count() || position >= m_names.count())
        throwInvalidArgument("project position " + std::to_string(position) + " outside 0.." +
                             std::to_string(std::min(m_projects.count(), m_names.count())));
}

qsizetype ProjectList::append(const ProjectRecord& project, const QByteArray& name)
{
    m_projects.append(withDefaultPeriod(project));
    m_names.append(name);
    return m_projects.count() - 1;
}

void ProjectList::replace(qsizetype position, const ProjectRecord& project, const QByteArray& name)
{
    checkPosition(position);
    m_projects.at(position) = project;
    m_names.setAt(position, name);
}

void ProjectList::remove(qsizetype position)
{
    checkPosition(position);
    m_names.removeAt(position);
    m_projects.removeAt(position);
    constexpr qsizetype kMax = DayMarkRecord::kMaxProjects;
    if (position >= kMax)
        return;
    for (qsizetype day = 0; day < m_dayMarks.count(); ++day) {
        std::uint8_t* checked = m_dayMarks.at(day).m_bChecked;
        std::memmove(checked + position, checked + position + 1, std::size_t(kMax - position - 1));
        checked[kMax - 1] = 0;
    }
}

bool ProjectList::isMarked(qsizetype dayIndex, qsizetype position) const
{
    const DayMarkRecord& marks = m_dayMarks.at(dayIndex);
    return position >= 0 && position < DayMarkRecord::kMaxProjects && marks.m_bChecked[position] != 0;
}

void ProjectList::setMarked(qsizetype dayIndex, qsizetype position, bool marked)
{
    DayMarkRecord& marks = m_dayMarks.at(dayIndex);
    if (position >= 0 && position < DayMarkRecord::kMaxProjects)
        marks.m_bChecked[position] = marked ? 1 : 0;
}
