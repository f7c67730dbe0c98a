#pragma once

#include "Calendar.h"
#include "ProjectList.h"
#include "YearData.h"

#include <QByteArray>

// Years to paint in benchmarks and tests: shown as a view shows them (all five toggles on).

inline YearData sampleEmptyYear(int year)
{
    YearData data;
    data.reset();
    data.m_settings = DisplaySettings::builtInDefaults(Calendar::makeDate(year, 3, 15));
    data.m_settings.m_bShowDayNumbers = data.m_settings.m_bShowSundays = data.m_settings.m_bShowMemoAlarm =
        data.m_settings.m_bShowProjectLines = data.m_settings.m_bShowRedDays = 1;
    return data;
}

inline ProjectRecord sampleProject(SYSTEMTIME start, SYSTEMTIME end, COLORREF colour)
{
    ProjectRecord p{};
    p.m_bLongLine = 1;
    p.m_stStart = start;
    p.m_stEnd = end;
    p.m_crColor = colour;
    return p;
}

inline SYSTEMTIME sampleMoment(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME st = Calendar::makeDate(year, month, day);
    st.wHour = std::uint16_t(hour);
    st.wMinute = std::uint16_t(minute);
    st.wSecond = std::uint16_t(second);
    return st;
}

inline COLORREF sampleColour(int i)
{
    return makeColorRef((i * 67) % 200, (i * 131 + 60) % 200, (i * 29 + 120) % 256);
}

// The most a year can hold: 100 year-long projects marked on every day, and a memo, an alarm and a red
// day on every day.
inline YearData sampleFullYear(int year)
{
    YearData data = sampleEmptyYear(year);
    for (int i = 0; i < 100; ++i) {
        data.m_projects.append(sampleProject(sampleMoment(year, 1, 1, 0, 0, 0),
                                             sampleMoment(year, 12, 31, 23, 59, 59), sampleColour(i)));
        data.m_names.append(QByteArray("Project ") + QByteArray::number(i));
    }
    const int days = Calendar::isLeapYear(year) ? 366 : 365;
    for (int n = 1; n <= days; ++n) {
        for (int i = 0; i < DayMarkRecord::kMaxProjects; ++i)
            data.m_dayMarks.at(n).m_bChecked[i] = 1;
        data.m_memos.setAt(n, "memo");
        data.m_alarmTexts.setAt(n, "alarm");
        data.m_alarms.at(n).m_bOn = 1;
        data.m_alarms.at(n).m_stWhen = sampleMoment(year, 1, 1, 9, 30, 0);
        data.m_redTexts.setAt(n, "red");
    }
    return data;
}

// The year of a busy user, as calendars hold it: the rich sample's settings and alarms (six of them on),
// 100 projects of a few days each and a memo on every day; export-ics makes 466 events of it.
inline YearData sampleBusyYear(int year);

// A bit of everything: projects of different lengths (one starting after midnight, one from before 1900,
// one ending before 1900), marks, memos, alarms and red days here and there, 15 March selected.
inline YearData sampleRichYear(int year)
{
    YearData data = sampleEmptyYear(year);
    data.m_settings.m_stSelected = Calendar::makeDate(year, 3, 15);
    const auto day = [year](int month, int d) { return Calendar::dayOfYear(year, month, d); };
    struct Period
    {
        int fromMonth, fromDay, toMonth, toDay, hour;
    };
    const Period periods[] = {{1, 3, 2, 20, 0},  {1, 10, 1, 31, 9}, {2, 1, 6, 30, 0},  {3, 5, 3, 25, 0},
                              {4, 1, 9, 30, 12}, {5, 2, 5, 28, 0},  {6, 10, 8, 20, 0}, {7, 1, 12, 31, 0},
                              {8, 15, 11, 5, 0}, {9, 1, 9, 30, 0},  {10, 3, 12, 8, 6}, {11, 11, 12, 24, 0}};
    int i = 0;
    for (const Period& p : periods) {
        data.m_projects.append(sampleProject(sampleMoment(year, p.fromMonth, p.fromDay, p.hour, 0, 0),
                                             sampleMoment(year, p.toMonth, p.toDay, 23, 59, 59),
                                             sampleColour(i)));
        data.m_names.append(QByteArray("Project ") + QByteArray::number(i));
        ++i;
    }
    data.m_projects.append(sampleProject(Calendar::makeDate(1850, 1, 1),
                                         sampleMoment(year, 2, 14, 23, 59, 59), makeColorRef(0, 128, 0)));
    data.m_names.append("Since ever");
    data.m_projects.append(sampleProject(sampleMoment(year, 1, 1, 0, 0, 0), Calendar::makeDate(1899, 12, 31),
                                         makeColorRef(128, 0, 0)));
    data.m_names.append("Never");
    for (int k = 0; k < 14; ++k)
        for (int m = 1; m <= 12; ++m)
            for (int d = 1 + (k + m) % 5; d <= Calendar::daysInMonth(year, m); d += 3 + k % 4)
                data.m_dayMarks.at(day(m, d)).m_bChecked[k] = 1;
    for (int m = 1; m <= 12; ++m) {
        data.m_memos.setAt(day(m, 2 + m), "Dentist");
        data.m_alarmTexts.setAt(day(m, 5 + m), "Call back");
        data.m_alarms.at(day(m, 5 + m)).m_stWhen = sampleMoment(year, m, 5 + m, 14, 5, 0);
        data.m_memos.setAt(day(m, 20), "Both");
        data.m_alarmTexts.setAt(day(m, 20), "Both");
        data.m_redTexts.setAt(day(m, 1 + (m * 7) % 28), "Holiday");
    }
    data.m_redTexts.setAt(day(12, 25), "Christmas");
    return data;
}

inline YearData sampleBusyYear(int year)
{
    YearData data = sampleRichYear(year);
    for (int m = 1; m <= 12; m += 2)
        data.m_alarms.at(Calendar::dayOfYear(year, m, 5 + m)).m_bOn = 1;
    ProjectList projects(data.m_projects, data.m_names, data.m_dayMarks);
    while (projects.count() > 0)
        projects.remove(projects.count() - 1);
    for (int i = 0; i < 100; ++i) {
        ProjectRecord p{};
        p.m_bLongLine = 1;
        p.m_stStart = Calendar::makeDate(year, 1 + i % 12, 1 + i % 20);
        p.m_stEnd = Calendar::makeDate(year, 1 + i % 12, 5 + i % 20);
        p.m_stEnd.wHour = 23;
        p.m_crColor = makeColorRef(i * 2, 255 - i * 2, 128);
        projects.append(p, QByteArray("Project ") + QByteArray::number(i));
    }
    for (int n = 1; n <= 365; ++n)
        data.m_memos.setAt(n, QByteArray("Memo of day ") + QByteArray::number(n));
    return data;
}
