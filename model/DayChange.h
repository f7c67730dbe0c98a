#pragma once

#include "DayEdit.h"

#include <QList>

#include <optional>

// What one Day dialog OK changes in a year, the old and the new side of every part it touches: the project
// list when it changed, the day-mark records that differ and the edited day's texts, red day and alarm.
// From it come the edits that take the change back or make it again over the year as it stands then, so
// that later edits of other days and of alarms firing stay.
class DayChange
{
public:
    enum class ProjectStep { None, Added, Changed, Deleted, Several };

    // `edit` as it would change `before`; throws InvalidArgument when the year does not hold its day.
    DayChange(const YearData& before, const DayEdit& edit);

    DayEdit undoEdit(const YearData& now) const { return editOver(now, m_before, false); }
    DayEdit redoEdit(const YearData& now) const { return editOver(now, m_after, true); }

    bool isEmpty() const;
    int dayIndex() const { return m_dayIndex; }
    // How the project list changed, and the name of the one project added, changed or deleted.
    ProjectStep projectStep() const { return m_projectStep; }
    const QByteArray& projectName() const { return m_projectName; }

private:
    struct Side
    {
        RecordList<ProjectRecord> projects;
        StringList names;
        QByteArray memo;
        QByteArray redText;
        RedDayRecord redDay{};
        QByteArray alarmText;
        AlarmRecord alarm{};
        // Only when the lists differ in length (a damaged file): then they are kept whole.
        std::optional<RecordList<DayMarkRecord>> allMarks;
    };
    struct MarkChange
    {
        qsizetype day;
        DayMarkRecord before;
        DayMarkRecord after;
    };

    DayEdit editOver(const YearData& now, const Side& side, bool after) const;
    void nameProjectStep();

    int m_dayIndex;
    bool m_projectsChanged = false;
    bool m_redDayChanged = false;
    Side m_before;
    Side m_after;
    QList<MarkChange> m_marks;
    ProjectStep m_projectStep = ProjectStep::None;
    QByteArray m_projectName;
};
