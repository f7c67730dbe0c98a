#pragma once

#include "DayMarkRecord.h"
#include "ProjectRecord.h"
#include "RecordList.h"
#include "StringList.h"

#include <QByteArray>

// The rules of a year's project list, over the three lists that hold it: a project's position is its
// name's position and its byte in every day's marks, so the three move together. Used on a year's own
// lists and on the Day dialog's working copies alike. Every index is checked before anything changes.
class ProjectList
{
public:
    ProjectList(RecordList<ProjectRecord>& projects, StringList& names, RecordList<DayMarkRecord>& dayMarks)
        : m_projects(projects), m_names(names), m_dayMarks(dayMarks)
    {
    }

    // A new project covers whole days: from 00:00:00 on its first day to 23:59:59 on its last.
    static ProjectRecord withDefaultPeriod(ProjectRecord project);

    qsizetype count() const { return m_projects.count(); }

    // Appends with the default period; returns the new position.
    qsizetype append(const ProjectRecord& project, const QByteArray& name);
    void replace(qsizetype position, const ProjectRecord& project, const QByteArray& name);
    // Later projects move down one place together with their marks on every day; the removed project's
    // marks go.
    void remove(qsizetype position);

    // Positions from DayMarkRecord::kMaxProjects on have no mark byte: reading gives false, setting is
    // ignored.
    bool isMarked(qsizetype dayIndex, qsizetype position) const;
    void setMarked(qsizetype dayIndex, qsizetype position, bool marked);

    // Throws InvalidArgument unless `position` names a project (record and name).
    void checkPosition(qsizetype position) const;

private:
    RecordList<ProjectRecord>& m_projects;
    StringList& m_names;
    RecordList<DayMarkRecord>& m_dayMarks;
};
