#pragma once

#include "DisplaySettings.h"
#include "ForeverRedDays.h"
#include "StoreResult.h"
#include "YearData.h"

#include <QString>

// One year of a data folder as the planner would show it (defaults for a year without a file, the
// every-year red days merged in), read without changing anything: no YEARS folder is created and no copy
// of a damaged file is made. Commands that only look use this; a damaged file stops them.
class YearReader
{
public:
    // `dir` holds YEARS.
    explicit YearReader(const QString& dir);

    // Reads the defaults, the every-year red days and the year's file. False when one of them is damaged
    // or unreadable; problem() then says which and why.
    bool read(int year);

    const YearData& year() const { return m_year; }
    const ForeverRedDays& everyYear() const { return m_everyYear; }
    // The selected day as the file stores it (as the planner last left the year); 1 January when the year
    // has no file yet.
    const SYSTEMTIME& storedSelection() const { return m_storedSelection; }
    // The settings as the year window draws with them: the five display toggles on, the stored selection.
    DisplaySettings viewSettings() const;
    bool hasFile() const { return m_hasFile; }
    const StoreResult& problem() const { return m_problem; }

    QString yearsDir() const;

private:
    QString m_dir;
    YearData m_year;
    ForeverRedDays m_everyYear;
    SYSTEMTIME m_storedSelection{};
    bool m_hasFile = false;
    StoreResult m_problem;
};
