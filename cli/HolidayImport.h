#pragma once

#include "HolidayPlan.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

struct YearData;

// `tolva-cli import-ics`: the red days a calendar gives a year, stored through the same year document and
// registry as the planner's edits, so that every-year red days reach ForeverRedDays.year by the same rules.
//
// Holding the folder's lock, it refuses damaged files (the import would save over their unreadable part),
// decides every day before anything is written, keeps a copy of each file it replaces (2026.year ->
// 2026.year.before-import, then -2, -3 ...), and writes only when something changes.
class HolidayImport
{
public:
    using Action = HolidayPlan::Action;
    using Decision = HolidayPlan::Decision;

    // `dir` holds YEARS. Returns the exit status; the report goes to `out`, a failure as one line to `err`.
    static int run(const QString& dir, const QString& calendarPath, int year, bool replace, QTextStream& out,
                   QTextStream& err);
    // The part of run() after the calendar is read: `holidays` and the events that gave none
    // (`skippedEvents`) from any source, such as a calendar server, stored under the same rules.
    static int store(const QString& dir, const QList<ImportedHoliday>& holidays,
                     const QStringList& skippedEvents, int year, bool replace, QTextStream& out,
                     QTextStream& err);

    static QString copyName(const QString& path, int attempt);
};
