// Writes a planner year as a user might have kept it (projects, marks, red days, memos and alarms) into
// <work dir>/YEARS (its alarms already fired, so none pops up), for screenshots and trying the program by
// hand:
//     make_sample_year <work dir> <year>

#include "Calendar.h"
#include "DataStore.h"
#include "YearData.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

SYSTEMTIME at(int year, int month, int day, int hour = 0, int minute = 0)
{
    SYSTEMTIME st = Calendar::makeDate(year, month, day);
    st.wHour = std::uint16_t(hour);
    st.wMinute = std::uint16_t(minute);
    return st;
}

void addProject(YearData& y, const char* name, SYSTEMTIME start, SYSTEMTIME end, COLORREF colour, bool line)
{
    ProjectRecord p{};
    p.m_bLongLine = line ? 1 : 0;
    p.m_stStart = start;
    p.m_stEnd = end;
    p.m_stEnd.wHour = 23;
    p.m_stEnd.wMinute = 59;
    p.m_crColor = colour;
    y.m_projects.append(p);
    y.m_names.append(name);
}

void redDay(YearData& y, int month, int day, const char* text, bool everyYear)
{
    const int n = Calendar::dayOfYear(y.m_settings.m_stSelected.wYear, month, day);
    y.m_redTexts.setAt(n, text);
    y.m_redDays.at(n).m_bEveryYear = everyYear ? 1 : 0;
    y.m_redDays.at(n).m_stDate = at(y.m_settings.m_stSelected.wYear, month, day);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <work dir> <year>\n", argv[0]);
        return 2;
    }
    const int year = QByteArray(argv[2]).toInt();
    DataStore store;
    store.CaptureWorkDir(QString::fromLocal8Bit(argv[1]));

    YearData y;
    y.reset();
    y.m_settings = DisplaySettings::builtInDefaults(at(year, 3, 15));
    y.m_settings.m_stSelected = at(year, 3, 15);
    const auto day = [year](int m, int d) { return Calendar::dayOfYear(year, m, d); };

    addProject(y, "Kitchen renovation", at(year, 2, 2), at(year, 4, 17), makeColorRef(214, 108, 0), true);
    addProject(y, "Garden", at(year, 4, 6), at(year, 9, 25), makeColorRef(40, 150, 60), true);
    addProject(y, "Thesis", at(year, 1, 12), at(year, 6, 30), makeColorRef(30, 90, 200), true);
    addProject(y, "Summer holiday", at(year, 7, 13), at(year, 8, 7), makeColorRef(220, 40, 120), true);
    addProject(y, "Choir", at(year, 1, 1), at(year, 12, 31), makeColorRef(120, 60, 170), false);
    addProject(y, "Marathon training", at(year, 8, 24), at(year, 10, 18), makeColorRef(0, 150, 160), true);
    // Choir on Tuesdays, training runs three times a week.
    for (int m = 1; m <= 12; ++m) {
        for (int d = 1; d <= Calendar::daysInMonth(year, m); ++d) {
            const int weekday = Calendar::dayOfWeek(year, m, d);
            if (weekday == 2)
                y.m_dayMarks.at(day(m, d)).m_bChecked[4] = 1;
            const bool training = m == 9 || (m == 8 && d >= 24) || (m == 10 && d <= 18);
            if (training && (weekday == 1 || weekday == 3 || weekday == 6))
                y.m_dayMarks.at(day(m, d)).m_bChecked[5] = 1;
        }
    }
    y.m_dayMarks.at(day(6, 30)).m_bChecked[2] = 1;

    redDay(y, 1, 1, "New Year's Day", true);
    redDay(y, 5, 1, "Labour Day", true);
    redDay(y, 12, 25, "Christmas Day", true);
    redDay(y, 12, 26, "Boxing Day", true);
    redDay(y, 4, 3, "Good Friday", false);
    redDay(y, 4, 6, "Easter Monday", false);
    redDay(y, 5, 14, "Ascension Day", false);
    redDay(y, 5, 25, "Whit Monday", false);

    y.m_memos.setAt(day(3, 9), "Dentist 8:30");
    y.m_memos.setAt(day(2, 14), "Dinner at Rosa's");
    y.m_memos.setAt(day(6, 12), "Submit thesis draft");
    y.m_memos.setAt(day(9, 3), "Parents' evening");
    y.m_memos.setAt(day(10, 18), "Race day!");
    y.m_memos.setAt(day(11, 21), "Choir concert");
    y.m_alarmTexts.setAt(day(3, 20), "Renew passport");
    y.m_alarms.at(day(3, 20)).m_bOn = 1;
    y.m_alarms.at(day(3, 20)).m_bFired = 1;
    y.m_alarms.at(day(3, 20)).m_stWhen = at(year, 3, 20, 9, 0);
    y.m_alarmTexts.setAt(day(7, 10), "Book the ferry");
    y.m_alarms.at(day(7, 10)).m_bOn = 1;
    y.m_alarms.at(day(7, 10)).m_bFired = 1;
    y.m_alarms.at(day(7, 10)).m_stWhen = at(year, 7, 10, 18, 30);

    const StoreResult r = store.saveYear(y);
    if (!r.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(r.message));
        return 1;
    }
    std::printf("%s\n", qPrintable(r.path));
    return 0;
}
