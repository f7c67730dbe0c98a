#pragma once

#include <QList>
#include <QString>

// `tolva-cli check`: every file in YEARS read the way the planner reads it, without changing anything, and
// reported as sound or damaged with the reason and byte offset.
class FolderCheck
{
public:
    enum class Verdict {
        Sound,
        Damaged, // damaged or unreadable: the planner would not get all of it
        NotData, // no data file (a damaged copy, an import's copy, the lock): not read
    };

    struct Entry
    {
        QString name; // in YEARS
        Verdict verdict = Verdict::Sound;
        QString reason;
    };

    // False with `error` set when `yearsDir` is no folder that can be listed.
    static bool check(const QString& yearsDir, QList<Entry>& entries, QString& error);

    // What the planner takes for a data file: exactly <year>.year for 1..9999, YearDefaults.year and
    // ForeverRedDays.year.
    static bool isDataFileName(const QString& name, int* year = nullptr);
};
