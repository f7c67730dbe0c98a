#pragma once

#include <algorithm>

#include "ArchiveWriter.h"
#include "Calendar.h"
#include "DataStore.h"
#include "YearData.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>

// Shared builders for the data-file tests: years with known content and files written byte by byte.
namespace YearFixtures {

inline DisplaySettings defaultsAt(int year)
{
    return DisplaySettings::builtInDefaults(Calendar::makeDate(year, 6, 15));
}

// A year as the view holds it after a reset, showing `year`.
inline YearData emptyYear(int year)
{
    YearData y;
    y.reset();
    y.m_settings = defaultsAt(year);
    return y;
}

// Projects with names, marks, alarms and the three kinds of day text, in Windows-1252 and UTF-8.
inline YearData richYear(int year, int projects = 3)
{
    YearData y = emptyYear(year);
    for (int p = 0; p < projects; ++p) {
        ProjectRecord r{};
        r.m_bLongLine = std::uint8_t(p % 2);
        r.m_stStart = Calendar::makeDate(year, 1 + p % 12, 1);
        r.m_stEnd = Calendar::makeDate(year, 1 + p % 12, 20);
        r.m_stEnd.wHour = 23;
        r.m_crColor = makeColorRef(10 * p, 200, 255 - p);
        y.m_projects.append(r);
        y.m_names.append("Project " + QByteArray::number(p));
    }
    for (int d = 1; d <= 366; d += 5) {
        // A day holds marks for the first 100 projects only.
        y.m_dayMarks.at(d).m_bChecked[d % std::clamp(projects, 1, 100)] = 1;
        y.m_memos.setAt(d, "Memo \xE9t\xE9 " + QByteArray::number(d)); // Windows-1252 "été"
        y.m_alarmTexts.setAt(d, QStringLiteral("Alarm \U0001F514 %1").arg(d).toUtf8());
        AlarmRecord& a = y.m_alarms.at(d);
        a.m_bOn = 1;
        a.m_stWhen = Calendar::makeDate(year, 3, 4);
        a.m_stWhen.wHour = 9;
    }
    y.m_redTexts.setAt(1, "New Year");
    y.m_redDays.at(1).m_bEveryYear = 1;
    y.m_redDays.at(1).m_stDate = Calendar::makeDate(year, 1, 1);
    return y;
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The link slots are the only bytes a round trip may change.
inline bool sameIgnoringLinks(YearData a, YearData b)
{
    a.m_settings.clearLinkSlots();
    b.m_settings.clearLinkSlots();
    return a == b;
}

inline bool sameBytes(const DisplaySettings& a, const DisplaySettings& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline QByteArray bytesOf(const DisplaySettings& s)
{
    return QByteArray(reinterpret_cast<const char*>(&s), sizeof s);
}

} // namespace YearFixtures
