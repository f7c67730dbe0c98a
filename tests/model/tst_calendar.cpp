#include "Calendar.h"

#include <QDate>
#include <QLocale>
#include <QTest>

#include <clocale>

Q_DECLARE_METATYPE(SYSTEMTIME)

class TestCalendar : public QObject
{
    Q_OBJECT

private slots:
    // Every per-day list is indexed by this number; one off and a date meets another day's records.
    void dayOfYearCountsFromOneJanuary_data();
    void dayOfYearCountsFromOneJanuary();
    // Leap years decide 29 February and every index from March on, for all years 1..9999.
    void leapYearsFollowTheGregorianRule();
    // The whole range agrees with an independent calendar on day of the year and day of the week.
    void agreesWithQDateAcrossYears1To9999();
    // Date texts read the same on every machine: English names whatever the locale.
    void formatUsesEnglishNamesUnderAnyLocale_data();
    void formatUsesEnglishNamesUnderAnyLocale();
    // Project periods: a start before 1900 covers everything, an end before 1900 covers nothing.
    void periodCoversDayFromMidnight_data();
    void periodCoversDayFromMidnight();
};

void TestCalendar::dayOfYearCountsFromOneJanuary_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("expected");
    QTest::newRow("1 Jan, common") << 2011 << 1 << 1 << 1;
    QTest::newRow("25 Dec, common") << 2011 << 12 << 25 << 359;
    QTest::newRow("31 Dec, common") << 2011 << 12 << 31 << 365;
    QTest::newRow("1 Jan, leap") << 2012 << 1 << 1 << 1;
    QTest::newRow("25 Dec, leap") << 2012 << 12 << 25 << 360;
    QTest::newRow("31 Dec, leap") << 2012 << 12 << 31 << 366;
    QTest::newRow("29 Feb, leap") << 2012 << 2 << 29 << 60;
    QTest::newRow("1 Mar, common") << 2011 << 3 << 1 << 60;
    QTest::newRow("31 Dec 1900, common century") << 1900 << 12 << 31 << 365;
    QTest::newRow("31 Dec 2000, leap century") << 2000 << 12 << 31 << 366;
    QTest::newRow("1 Jan 1") << 1 << 1 << 1 << 1;
    QTest::newRow("31 Dec 9999") << 9999 << 12 << 31 << 365;
    QTest::newRow("29 Feb, common") << 2011 << 2 << 29 << -1;
    QTest::newRow("31 April") << 2011 << 4 << 31 << -1;
    QTest::newRow("day 0") << 2011 << 5 << 0 << -1;
    QTest::newRow("month 0") << 2011 << 0 << 1 << -1;
    QTest::newRow("month 13") << 2011 << 13 << 1 << -1;
    QTest::newRow("year 0") << 0 << 1 << 1 << -1;
    QTest::newRow("year 10000") << 10000 << 1 << 1 << -1;
}

void TestCalendar::dayOfYearCountsFromOneJanuary()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, expected);
    QCOMPARE(Calendar::dayOfYear(year, month, day), expected);
    QCOMPARE(Calendar::isValidDate(year, month, day), expected > 0);
    if (expected < 0)
        QCOMPARE(Calendar::dayOfWeek(year, month, day), -1);
}

void TestCalendar::leapYearsFollowTheGregorianRule()
{
    for (int y = 1; y <= 9999; ++y) {
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        QCOMPARE(Calendar::isLeapYear(y), leap);
        QCOMPARE(Calendar::isLeapYear(y), QDate::isLeapYear(y));
        QCOMPARE(Calendar::daysInMonth(y, 2), leap ? 29 : 28);
        QCOMPARE(Calendar::isValidDate(y, 2, 29), leap);
    }
    QCOMPARE(Calendar::daysInMonth(2011, 0), 0);
    QCOMPARE(Calendar::daysInMonth(2011, 13), 0);
}

void TestCalendar::agreesWithQDateAcrossYears1To9999()
{
    for (int y = 1; y <= 9999; ++y) {
        for (const auto& [m, d] : {std::pair{1, 1}, std::pair{12, 25}, std::pair{12, 31}}) {
            const QDate q(y, m, d);
            if (Calendar::dayOfYear(y, m, d) != q.dayOfYear() ||
                Calendar::dayOfWeek(y, m, d) != q.dayOfWeek() % 7)
                QFAIL(qPrintable(q.toString(Qt::ISODate)));
        }
    }
    // Every 13th day (prime, so every weekday and month is hit) through the whole range and back.
    const QDate first(1, 1, 1);
    const std::int64_t last = Calendar::dayNumber(9999, 12, 31);
    for (std::int64_t n = 0; n <= last; n += 13) {
        const QDate q = first.addDays(n);
        int y = 0, m = 0, d = 0;
        Calendar::dateFromDayNumber(n, y, m, d);
        if (y != q.year() || m != q.month() || d != q.day() || Calendar::dayNumber(y, m, d) != n ||
            Calendar::dayOfYear(y, m, d) != q.dayOfYear() ||
            Calendar::dayOfWeek(y, m, d) != q.dayOfWeek() % 7)
            QFAIL(qPrintable(q.toString(Qt::ISODate)));
    }
}

void TestCalendar::formatUsesEnglishNamesUnderAnyLocale_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("long names") << QByteArray("%A, %d %B %Y") << "Sunday, 25 December 2011";
    QTest::newRow("short names") << QByteArray("%a %b %d") << "Sun Dec 25";
    QTest::newRow("24-hour time") << QByteArray("%H:%M:%S") << "21:05:07";
    QTest::newRow("numeric date") << QByteArray("%d.%m.%Y") << "25.12.2011";
    QTest::newRow("percent and unknown codes") << QByteArray("100%% %q%") << "100% %q%";
}

void TestCalendar::formatUsesEnglishNamesUnderAnyLocale()
{
    QFETCH(QByteArray, format);
    QFETCH(QString, expected);
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8"); // may be missing; the Qt default alone is enough to mislead
    SYSTEMTIME st = Calendar::makeDate(2011, 12, 25);
    st.wDayOfWeek = 3; // recomputed from the date, not trusted
    st.wHour = 21;
    st.wMinute = 5;
    st.wSecond = 7;
    const QString text = Calendar::format(st, format.constData());
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(previous);
    QCOMPARE(text, expected);
    QCOMPARE(Calendar::dayName(0), QStringLiteral("Sunday"));
    QCOMPARE(Calendar::monthName(5), QStringLiteral("May"));
    QCOMPARE(Calendar::dayName(7), QString());
    QCOMPARE(Calendar::monthName(13), QString());
}

void TestCalendar::periodCoversDayFromMidnight_data()
{
    QTest::addColumn<SYSTEMTIME>("start");
    QTest::addColumn<SYSTEMTIME>("end");
    QTest::addColumn<bool>("covers10March2011");
    SYSTEMTIME lateStart = Calendar::makeDate(2011, 3, 10);
    lateStart.wHour = 8;
    SYSTEMTIME endOfDay = Calendar::makeDate(2011, 3, 10);
    endOfDay.wHour = 23;
    QTest::newRow("period of that day") << Calendar::makeDate(2011, 3, 10) << endOfDay << true;
    QTest::newRow("start after midnight") << lateStart << endOfDay << false;
    QTest::newRow("ends at that midnight")
        << Calendar::makeDate(2011, 3, 1) << Calendar::makeDate(2011, 3, 10) << true;
    QTest::newRow("ended the day before")
        << Calendar::makeDate(2011, 3, 1) << Calendar::makeDate(2011, 3, 9) << false;
    QTest::newRow("start before 1900") << Calendar::makeDate(1899, 1, 1) << endOfDay << true;
    QTest::newRow("end before 1900") << Calendar::makeDate(2011, 3, 1) << Calendar::makeDate(1899, 12, 31)
                                     << false;
}

void TestCalendar::periodCoversDayFromMidnight()
{
    QFETCH(SYSTEMTIME, start);
    QFETCH(SYSTEMTIME, end);
    QFETCH(bool, covers10March2011);
    QCOMPARE(Calendar::periodCoversDay(start, end, 2011, 3, 10), covers10March2011);
}

QTEST_APPLESS_MAIN(TestCalendar)
#include "tst_calendar.moc"
