#include "Calendar.h"
#include "Moments.h"
#include "YearData.h"
#include "YearGrid.h"
#include "YearPainter.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <ctime>

namespace {

const QSize kExtent(1920, 1080);

using TestSupport::moment;

YearData emptyYear(int year)
{
    YearData data;
    data.reset();
    data.m_settings = DisplaySettings::builtInDefaults(Calendar::makeDate(year, 3, 15));
    return data;
}

void addProject(YearData& data, const char* name, bool longLine, SYSTEMTIME start, SYSTEMTIME end)
{
    ProjectRecord p{};
    p.m_bLongLine = longLine ? 1 : 0;
    p.m_stStart = start;
    p.m_stEnd = end;
    data.m_projects.append(p);
    data.m_names.append(name);
}

YearData year2011()
{
    YearData data = emptyYear(2011);
    const auto n = [](int month, int day) { return Calendar::dayOfYear(2011, month, day); };
    addProject(data, "Alpha", false, moment(2011, 1, 1, 0, 0, 0), moment(2011, 12, 31, 23, 59, 59));
    addProject(data, "Beta", true, moment(2011, 6, 1, 0, 0, 0), moment(2011, 6, 10, 23, 59, 59));
    addProject(data, "Gamma", true, moment(2011, 6, 1, 9, 0, 0), moment(2011, 6, 10, 23, 59, 59));
    addProject(data, "Old", true, Calendar::makeDate(1850, 1, 1), moment(2011, 2, 14, 23, 59, 59));
    addProject(data, "Never", true, moment(2011, 1, 1, 0, 0, 0), Calendar::makeDate(1899, 12, 31));
    data.m_memos.setAt(n(3, 15), "Dentist");
    data.m_alarmTexts.setAt(n(3, 15), "Call");
    data.m_alarms.at(n(3, 15)).m_stWhen = moment(2011, 3, 15, 9, 5, 0);
    data.m_redTexts.setAt(n(3, 15), "Holiday");
    data.m_dayMarks.at(n(3, 15)).m_bChecked[0] = 1;
    data.m_dayMarks.at(n(3, 15)).m_bChecked[7] = 1; // no project at position 7
    data.m_alarmTexts.setAt(n(3, 16), "Broken");
    data.m_alarmTexts.setAt(n(3, 17), "Hidden");
    data.m_memos.setAt(n(3, 5), "Caf\xe9"); // Windows-1252
    data.m_redTexts.setAt(n(7, 4), "Independence");
    data.m_dayMarks.at(n(7, 4)).m_bChecked[0] = 1;
    data.m_dayMarks.at(n(7, 5)).m_bChecked[0] = 1;
    return data;
}

// A point at (cx, cy) from the grid corner of the cell of (month, day).
QPoint at(const YearData& data, int month, int day, int cx, int cy)
{
    const YearGrid grid(kExtent, data.m_settings);
    return QPoint(grid.columnX(month - 1) + cx, grid.rowY(day - 1) + cy);
}

} // namespace

class TestStatusText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void describesTheDayUnderThePointer_data();
    void describesTheDayUnderThePointer();
    void daysThatDoNotExistClearThePane_data();
    void daysThatDoNotExistClearThePane();
    void statusInfoOffLeavesThePaneAlone();
    void periodsBefore1970HaveDefinedResults_data();
    void periodsBefore1970HaveDefinedResults();
};

// The user's locale is German; the texts must stay English all the same.
void TestStatusText::initTestCase()
{
    QVERIFY(std::setlocale(LC_ALL, "de_DE.UTF-8"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::tm tm{};
    tm.tm_wday = 2;
    char name[32];
    std::strftime(name, sizeof name, "%A", &tm);
    QCOMPARE(QByteArray(name), QByteArray("Dienstag"));
}

// One item at most, chosen by where the pointer rests, in the order memo, alarm, day number, slot.
void TestStatusText::describesTheDayUnderThePointer_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QString>("text");
    const QString mar15 = " Tuesday, March 15, 2011 ";
    QTest::newRow("plain") << 3 << 15 << QPoint(10, 20) << mar15;
    QTest::newRow("memo") << 3 << 15 << QPoint(2, 2) << mar15 + ",   Memo = Dentist";
    QTest::newRow("alarm") << 3 << 15 << QPoint(2, 6)
                           << mar15 + ",   Alarm (at 09:05, Mar 15 2011) = \"Call\"";
    QTest::newRow("red day") << 3 << 15 << QPoint(8, 3) << mar15 + ",   Red day = Holiday";
    QTest::newRow("marked project") << 3 << 15 << QPoint(16, 20) << mar15 + ",   Project = Alpha";
    QTest::newRow("mark without a name") << 3 << 15 << QPoint(44, 20) << mar15;
    QTest::newRow("alarm at no valid moment")
        << 3 << 16 << QPoint(2, 6)
        << " Wednesday, March 16, 2011 ,   Alarm (at Invalid DateTime) = \"Broken\"";
    QTest::newRow("empty memo tries nothing else") << 3 << 17 << QPoint(2, 2) << " Thursday, March 17, 2011 ";
    QTest::newRow("two-digit day, stored bytes decoded")
        << 3 << 5 << QPoint(2, 2) << " Saturday, March 05, 2011 ,   Memo = Café";
    QTest::newRow("long line") << 6 << 1 << QPoint(20, 20) << " Wednesday, June 01, 2011 ,   Project = Beta";
    QTest::newRow("start after midnight") << 6 << 1 << QPoint(24, 20) << " Wednesday, June 01, 2011 ";
    QTest::newRow("second day of late start")
        << 6 << 2 << QPoint(24, 20) << " Thursday, June 02, 2011 ,   Project = Gamma";
    QTest::newRow("last day") << 6 << 10 << QPoint(20, 20) << " Friday, June 10, 2011 ,   Project = Beta";
    QTest::newRow("after the end") << 6 << 11 << QPoint(20, 20) << " Saturday, June 11, 2011 ";
    QTest::newRow("start before 1900")
        << 2 << 14 << QPoint(28, 20) << " Monday, February 14, 2011 ,   Project = Old";
    QTest::newRow("end before 1900") << 1 << 1 << QPoint(32, 20) << " Saturday, January 01, 2011 ";
    QTest::newRow("number box over slot 0")
        << 7 << 4 << QPoint(15, 5) << " Monday, July 04, 2011 ,   Red day = Independence";
    QTest::newRow("number box without red day") << 7 << 5 << QPoint(15, 5) << " Tuesday, July 05, 2011 ";
    QTest::newRow("slot 0 below the box")
        << 7 << 5 << QPoint(15, 11) << " Tuesday, July 05, 2011 ,   Project = Alpha";
}

void TestStatusText::describesTheDayUnderThePointer()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QPoint, offset);
    const YearData data = year2011();
    const std::optional<QString> text =
        CYearPainter().StatusText(kExtent, data, at(data, month, day, offset.x(), offset.y()));
    QVERIFY(text.has_value());
    QTEST(*text, "text");
}

// A cell of 30 February or a point beyond the grid is not an error: the pane is cleared.
void TestStatusText::daysThatDoNotExistClearThePane_data()
{
    QTest::addColumn<QPoint>("pos");
    const YearData data = year2011();
    QTest::newRow("30 February") << at(data, 2, 30, 10, 10);
    QTest::newRow("29 February, common year") << at(data, 2, 29, 10, 10);
    QTest::newRow("31 April") << at(data, 4, 31, 10, 10);
    QTest::newRow("right of the grid") << QPoint(1910, 300);
    QTest::newRow("below the grid") << QPoint(300, 1070);
    QTest::newRow("far left") << QPoint(-300, 300);
}

void TestStatusText::daysThatDoNotExistClearThePane()
{
    QFETCH(QPoint, pos);
    const std::optional<QString> text = CYearPainter().StatusText(kExtent, year2011(), pos);
    QVERIFY(text.has_value());
    QCOMPARE(*text, QString());
}

// With status info off the view must not touch the pane at all.
void TestStatusText::statusInfoOffLeavesThePaneAlone()
{
    YearData data = year2011();
    data.m_settings.m_bShowStatusInfo = 0;
    QCOMPARE(CYearPainter().StatusText(kExtent, data, at(data, 3, 15, 2, 2)), std::nullopt);
}

// Years the calendar-time conversion could not reach still compare project periods by their fields.
void TestStatusText::periodsBefore1970HaveDefinedResults_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("1950 inside") << 1950 << 15 << " Thursday, June 15, 1950 ,   Project = P";
    QTest::newRow("1950 after") << 1950 << 16 << " Friday, June 16, 1950 ";
    QTest::newRow("1900 first day") << 1900 << 1 << " Friday, June 01, 1900 ,   Project = P";
    QTest::newRow("1969 last day") << 1969 << 15 << " Sunday, June 15, 1969 ,   Project = P";
    QTest::newRow("9999 inside") << 9999 << 10 << " Thursday, June 10, 9999 ,   Project = P";
}

void TestStatusText::periodsBefore1970HaveDefinedResults()
{
    QFETCH(int, year);
    QFETCH(int, day);
    YearData data = emptyYear(year);
    addProject(data, "P", true, moment(year, 6, 1, 0, 0, 0), moment(year, 6, 15, 23, 59, 59));
    const std::optional<QString> text = CYearPainter().StatusText(kExtent, data, at(data, 6, day, 16, 20));
    QVERIFY(text.has_value());
    QTEST(*text, "text");
}

QTEST_GUILESS_MAIN(TestStatusText)
#include "tst_statustext.moc"
