#pragma once

#include "FindHit.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <map>

// Find over every year file of a data folder, open in a window or not. Each file is read once through the
// read-only loader (DataStore::inspectYearFile: nothing is created, locked, copied or written) and its
// texts kept case-folded; refresh() reads again only the files that changed since, so a search as the user
// types costs a look at each file's size and time and a pass over the kept texts.
class YearSearch
{
public:
    explicit YearSearch(QString yearsDir);

    // Looks at the folder again: new and changed files are read, gone ones forgotten.
    void refresh();
    // Every day whose memo, red-day text or alarm text holds `text` (case ignored), and every project whose
    // name does, listed at the project's first day in that year; by date, then memo, red day, alarm,
    // project. Nothing for an empty text.
    QList<FindHit> find(const QString& text) const;
    // The years whose files are damaged ("2019: at byte 1544: ..."): searched as far as they read.
    QStringList damagedYears() const;
    int yearCount() const { return int(m_years.size()); }

private:
    struct Entry
    {
        int dayIndex;
        FindHit::Field field;
        QString text;
        QString folded;
    };
    struct Year
    {
        qint64 size = -1;
        QDateTime modified;
        QString damage; // empty for a sound file
        QList<Entry> entries;
    };

    static Year read(const QString& path, int year);

    QString m_yearsDir;
    std::map<int, Year> m_years;
};
