#pragma once

#include "AlarmRecord.h"
#include "DayMarkRecord.h"
#include "ProjectRecord.h"
#include "RecordList.h"
#include "RedDayRecord.h"
#include "StringList.h"

#include <QByteArray>

#include <optional>

struct YearData;

// What the Day dialog confirms with OK: the year's whole project list with every day's marks (edited as
// copies), and one day's texts, red day and alarm. A year document applies it all or nothing.
struct DayEdit
{
    int dayIndex = -1; // Calendar::dayOfYear of the edited day
    RecordList<ProjectRecord> projects;
    StringList names;
    RecordList<DayMarkRecord> dayMarks;
    QByteArray memo;
    QByteArray redText;
    std::optional<RedDayRecord> redDay; // none: the day's record stays as it is
    QByteArray alarmText;
    AlarmRecord alarm{};

    // Writes the edit into `year`, all or nothing: throws InvalidArgument, changing nothing, when the
    // year's per-day lists do not hold the day or the edit's lists do not fit together.
    void applyTo(YearData& year) const;
};
