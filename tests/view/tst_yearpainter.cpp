#include "Calendar.h"
#include "DayNumbers.h"
#include "InvalidArgument.h"
#include "PaintResources.h"
#include "QtConversion.h"
#include "SampleYears.h"
#include "YearGrid.h"
#include "YearPainter.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <climits>
#include <cstring>

namespace {

// Colours that nothing else paints, so that every pixel tells who drew it.
const QColor kCellBackground(200, 255, 200);
const QColor kSurfaceBackground(0, 255, 255);
const QColor kUntouched(255, 0, 255);
const QColor kNoDay(120, 120, 120);
const QColor kWeekend(255, 200, 200);
const QColor kSelected(255, 255, 0);
const QColor kGrid(200, 200, 200);
const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const COLORREF kProject = makeColorRef(0, 160, 0);

// An extent whose grid has the given whole cell pitches.
QSize extentFor(int cw, int rh)
{
    return QSize(12 * cw + 30, 31 * rh + 65);
}

YearData plainYear(int year)
{
    YearData data = sampleEmptyYear(year);
    data.m_settings.m_crBackground = makeColorRef(200, 255, 200);
    data.m_settings.m_crNoDay = makeColorRef(120, 120, 120);
    data.m_settings.m_stSelected = Calendar::makeDate(year, 12, 31);
    return data;
}

int dayIndex(const YearData& data, int month, int day)
{
    return Calendar::dayOfYear(data.year(), month, day);
}

void addProject(YearData& data, SYSTEMTIME start, SYSTEMTIME end, COLORREF colour = kProject)
{
    data.m_projects.append(sampleProject(start, end, colour));
    data.m_names.append("P");
}

void addYearLongProject(YearData& data)
{
    addProject(data, sampleMoment(data.year(), 1, 1, 0, 0, 0), sampleMoment(data.year(), 12, 31, 23, 59, 59));
}

struct Painted
{
    QImage image;
    YearGrid grid;

    QColor at(QPoint p) const { return image.pixelColor(p); }
    // A pixel at an offset from the cell origin of (month, day).
    QColor at(int month, int day, int dx, int dy) const
    {
        return image.pixelColor(grid.cellOrigin(month - 1, day - 1) + QPoint(dx, dy));
    }
    bool contains(const QColor& colour) const
    {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == colour)
                    return true;
        return false;
    }
    bool anyRedIn(QRect area) const
    {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 160 && c.green() < 90 && c.blue() < 90)
                    return true;
            }
        return false;
    }
};

Painted paint(const YearData& data, QSize extent)
{
    QImage image(extent, QImage::Format_RGB32);
    image.fill(kUntouched);
    QPainter painter(&image);
    painter.setBackground(kSurfaceBackground);
    CYearPainter().PaintYear(painter, extent, data, PaintResources(data.m_settings));
    painter.end();
    return {image, YearGrid(extent, data.m_settings)};
}

// The year on an image of `ratio` device pixels per logical one.
QImage paintAt(const YearData& data, QSize extent, int ratio)
{
    QImage image(extent * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(kUntouched);
    QPainter painter(&image);
    painter.setBackground(kSurfaceBackground);
    try {
        CYearPainter().PaintYear(painter, extent, data, PaintResources(data.m_settings));
    } catch (const InvalidArgument&) {
    }
    return image;
}

LOGFONTA logFont(int height, int weight, bool italic, const char* face)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
    return lf;
}

} // namespace

class TestYearPainter : public QObject
{
    Q_OBJECT

private slots:
    void fontsFollowTheFontRecords_data();
    void fontsFollowTheFontRecords();
    void cellContentFollowsTheSizeThresholds_data();
    void cellContentFollowsTheSizeThresholds();
    void weekendSelectionAndMissingDays();
    void textStandsOnTheLastFillColour();
    void aSelectedDayThatDoesNotExistIsNeverHighlighted();
    void markersSitAtTheirOffsets();
    void redNumbersOnlyWhileShown_data();
    void redNumbersOnlyWhileShown();
    void slotsThatDoNotFitAreSkipped();
    void longLinesFollowTheProjectPeriod_data();
    void longLinesFollowTheProjectPeriod();
    void frameAndGridLinesLieOverFills();
    void twoDevicePixelsPerUnitDoubleThePicture_data();
    void twoDevicePixelsPerUnitDoubleThePicture();
    void linesOfATurnedOverGridRunFromTheirStart_data();
    void linesOfATurnedOverGridRunFromTheirStart();
    void everyYearPaintsCompletely_data();
    void everyYearPaintsCompletely();
    void anErrorEndsThePaintOnly();
    void damagedSettingsPaintWithoutFault_data();
    void damagedSettingsPaintWithoutFault();
    void settingsApartFromTheListsPaintTheSame_data();
    void settingsApartFromTheListsPaintTheSame();
    void theProcessHasAPainterFromTheStart();
    void dayNumbersAreMeasuredOncePerResolution_data();
    void dayNumbersAreMeasuredOncePerResolution();
};

// Font heights are cell heights when positive, character heights when negative; Arial has a stand-in.
void TestYearPainter::fontsFollowTheFontRecords_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("weight");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<QString>("face");
    QTest::newRow("day numbers") << 10 << 700 << false << "Arial";
    QTest::newRow("month names") << 14 << 400 << false << "Arial";
    QTest::newRow("year") << 30 << 700 << false << "Arial";
    QTest::newRow("italic character height") << -12 << 400 << true << "Arial";
    QTest::newRow("other face") << 20 << 400 << false << "DejaVu Sans";
}

void TestYearPainter::fontsFollowTheFontRecords()
{
    QFETCH(int, height);
    QFETCH(int, weight);
    QFETCH(bool, italic);
    QFETCH(QString, face);
    const QFont font = fontFromLogFont(logFont(height, weight, italic, face.toLatin1().constData()));
    const QFontInfo info(font);
    QCOMPARE(info.family(), face == "Arial" ? QString("Liberation Sans") : face);
    QCOMPARE(info.bold(), weight >= 600);
    QCOMPARE(info.italic(), italic);
    if (height > 0) {
        QCOMPARE(QFontMetrics(font).height(), height);
        QFont bigger = font;
        bigger.setPixelSize(font.pixelSize() + 1);
        QVERIFY(QFontMetrics(bigger).height() > height);
    } else {
        QCOMPARE(font.pixelSize(), -height);
    }
}

// Narrow or low cells drop month labels, numbers, markers and projects at fixed thresholds.
void TestYearPainter::cellContentFollowsTheSizeThresholds_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<bool>("monthLabels");
    QTest::addColumn<bool>("fullNames");
    QTest::addColumn<bool>("numbers");
    QTest::addColumn<bool>("projects");
    QTest::newRow("cw 11") << extentFor(11, 20) << false << false << false << false;
    QTest::newRow("cw 12") << extentFor(12, 20) << false << false << false << false;
    QTest::newRow("cw 14") << extentFor(14, 20) << true << false << false << false;
    QTest::newRow("cw 15") << extentFor(15, 20) << true << false << false << false;
    QTest::newRow("cw 18") << extentFor(18, 20) << true << false << true << false;
    QTest::newRow("cw 20") << extentFor(20, 20) << true << false << true << false;
    QTest::newRow("cw 22") << extentFor(22, 20) << true << false << true << true;
    QTest::newRow("cw 25") << extentFor(25, 20) << true << true << true << true;
    QTest::newRow("rh 8") << extentFor(60, 8) << true << true << false << true;
    QTest::newRow("rh 10") << extentFor(60, 10) << true << true << false << true;
    QTest::newRow("rh 11") << extentFor(60, 11) << true << true << true << true;
}

void TestYearPainter::cellContentFollowsTheSizeThresholds()
{
    QFETCH(QSize, extent);
    QFETCH(bool, monthLabels);
    QFETCH(bool, fullNames);
    QFETCH(bool, numbers);
    QFETCH(bool, projects);
    YearData data = plainYear(2024);
    data.m_memos.setAt(dayIndex(data, 1, 2), "memo");
    data.m_alarmTexts.setAt(dayIndex(data, 1, 2), "alarm");
    addYearLongProject(data);
    const Painted p = paint(data, extent);
    const YearGrid& g = p.grid;
    const int lastRow = g.cellHeight() - 2; // whole-pixel pitch: the fill's last row is the next grid line

    const QPoint nameBox(int(g.columnX(1) - g.columnWidth() + 2), g.top() - 15);
    const QPoint numberBox(int(g.columnX(1) - g.columnWidth() * 0.5), g.bottom());
    QCOMPARE(p.at(nameBox), monthLabels ? kCellBackground : kUntouched);
    QCOMPARE(p.at(numberBox), monthLabels ? kCellBackground : kUntouched);
    if (monthLabels) {
        int boxWidth = 0;
        while (p.at(nameBox + QPoint(boxWidth, 0)) == kCellBackground)
            ++boxWidth;
        const QFontMetrics metrics(PaintResources(data.m_settings).monthFont());
        QCOMPARE(boxWidth, metrics.horizontalAdvance(fullNames ? "Jan" : "J"));
    }
    // 3 January is a plain Wednesday; 2 January has a memo and an alarm.
    QCOMPARE(p.at(1, 3, 5, 0), numbers ? kCellBackground : kWhite);
    QCOMPARE(p.at(1, 2, 1, 1), numbers ? kBlue : kWhite);
    QCOMPARE(p.at(1, 2, 1, 5), numbers ? kRed : kWhite);
    if (projects)
        QCOMPARE(p.at(1, 3, 15, lastRow), colorFromColorRef(kProject));
    else
        QVERIFY(!p.contains(colorFromColorRef(kProject)));
}

// Saturdays and Sundays are filled, the selected day over them, and days that do not exist show nothing.
void TestYearPainter::weekendSelectionAndMissingDays()
{
    YearData data = plainYear(2024);
    data.m_settings.m_stSelected = Calendar::makeDate(2024, 3, 17); // a Sunday
    addYearLongProject(data);
    const Painted p = paint(data, extentFor(60, 20));
    // Whole-pixel pitches: a fill's last column and row lie on the next grid lines.
    const int last = p.grid.cellWidth() - 2;
    const int bottom = p.grid.cellHeight() - 2;
    QCOMPARE(p.at(1, 6, last, bottom), kWeekend);
    QCOMPARE(p.at(1, 7, last, bottom), kWeekend);
    QCOMPARE(p.at(1, 8, last, bottom), kWhite);
    QCOMPARE(p.at(3, 16, last, bottom), kWeekend);
    QCOMPARE(p.at(3, 17, last, bottom), kSelected);
    QCOMPARE(p.at(2, 29, 5, 0), kCellBackground); // a leap year's 29 February is a day like any other

    for (int dy = 0; dy <= bottom; ++dy)
        for (int dx = 0; dx <= last; ++dx)
            QCOMPARE(p.at(2, 30, dx, dy), kNoDay);

    YearData common = plainYear(2023);
    addYearLongProject(common);
    const Painted q = paint(common, extentFor(60, 20));
    QCOMPARE(q.at(2, 29, 5, 0), kNoDay);
    QCOMPARE(q.at(2, 29, 15, bottom), kNoDay);
}

// A text's box takes the colour of its cell's last fill; plain cells, that of the settings; the first
// cell and the year label, the surface's own.
void TestYearPainter::textStandsOnTheLastFillColour()
{
    YearData data = plainYear(2024);
    data.m_settings.m_stSelected = Calendar::makeDate(2024, 1, 10);
    const Painted p = paint(data, extentFor(60, 20));
    QCOMPARE(p.at(1, 1, 5, 0), kSurfaceBackground);
    QCOMPARE(p.at(QPoint(p.grid.left(), 5)), kSurfaceBackground);
    QCOMPARE(p.at(1, 2, 5, 0), kCellBackground);
    QCOMPARE(p.at(1, 6, 5, 0), kWeekend);
    QCOMPARE(p.at(1, 8, 5, 0), kCellBackground);
    QCOMPARE(p.at(1, 10, 5, 0), kSelected);
    QCOMPARE(p.at(1, 11, 5, 0), kCellBackground);
}

void TestYearPainter::aSelectedDayThatDoesNotExistIsNeverHighlighted()
{
    YearData data = plainYear(2023);
    for (const auto& [month, day] : {std::pair(4, 31), std::pair(2, 29)}) {
        data.m_settings.m_stSelected.wMonth = std::uint16_t(month);
        data.m_settings.m_stSelected.wDay = std::uint16_t(day);
        const Painted p = paint(data, extentFor(30, 15));
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= 31; ++d)
                QVERIFY(p.at(m, d, p.grid.cellWidth() - 2, p.grid.cellHeight() - 2) != kSelected);
    }
}

// Memo marker at (1..2, 1..3) from the cell origin, the alarm marker one pixel below it at (1..2, 5..7).
void TestYearPainter::markersSitAtTheirOffsets()
{
    YearData data = plainYear(2024);
    data.m_memos.setAt(dayIndex(data, 5, 7), "memo");
    data.m_alarmTexts.setAt(dayIndex(data, 5, 8), "alarm");
    const Painted p = paint(data, extentFor(60, 20));
    for (int dx = 0; dx <= 3; ++dx) {
        for (int dy = 0; dy <= 8; ++dy) {
            const bool memo = dx >= 1 && dx <= 2 && dy >= 1 && dy <= 3;
            const bool alarm = dx >= 1 && dx <= 2 && dy >= 5 && dy <= 7;
            QCOMPARE(p.at(5, 7, dx, dy), memo ? kBlue : kWhite);
            QCOMPARE(p.at(5, 8, dx, dy), alarm ? kRed : kWhite);
        }
    }
    data.m_settings.m_bShowMemoAlarm = 0;
    const Painted hidden = paint(data, extentFor(60, 20));
    QCOMPARE(hidden.at(5, 7, 1, 1), kWhite);
    QCOMPARE(hidden.at(5, 8, 1, 5), kWhite);
}

// Red numbers depend on the red-day text and the toggle only; the record's day-number colour never shows.
void TestYearPainter::redNumbersOnlyWhileShown_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("redDay");
    QTest::addColumn<bool>("redDayNumberColour");
    QTest::addColumn<bool>("red");
    QTest::newRow("shown") << true << true << false << true;
    QTest::newRow("hidden") << false << true << false << false;
    QTest::newRow("no red day") << true << false << true << false;
    QTest::newRow("hidden, red colour") << false << false << true << false;
}

void TestYearPainter::redNumbersOnlyWhileShown()
{
    QFETCH(bool, shown);
    QFETCH(bool, redDay);
    QFETCH(bool, redDayNumberColour);
    YearData data = plainYear(2024);
    data.m_settings.m_bShowRedDays = shown ? 1 : 0;
    if (redDayNumberColour)
        data.m_settings.m_crDayNumber = makeColorRef(255, 0, 0);
    if (redDay)
        data.m_redTexts.setAt(dayIndex(data, 7, 4), "Holiday");
    const Painted p = paint(data, extentFor(60, 20));
    const QFontMetrics metrics(PaintResources(data.m_settings).dayFont());
    const QRect box(p.grid.cellOrigin(6, 3) + QPoint(5, 0),
                    QSize(metrics.horizontalAdvance("04"), metrics.height()));
    QTEST(p.anyRedIn(box), "red");
    QVERIFY(!p.anyRedIn(box.translated(0, p.grid.rowY(4) - p.grid.rowY(3)))); // 5 July
}

// In a column of exactly 60 pixels, slots 0..11 have room for a line and slots 0..10 for a mark. The line
// of slot 11 falls on the next grid line, which covers it, except in December, where it stands just right
// of the frame.
void TestYearPainter::slotsThatDoNotFitAreSkipped()
{
    YearData data = plainYear(2024);
    for (int i = 0; i < 14; ++i) {
        addProject(data, sampleMoment(2024, 1, 1, 0, 0, 0), sampleMoment(2024, 12, 31, 23, 59, 59),
                   makeColorRef(0, 100 + i, 0));
        data.m_dayMarks.at(dayIndex(data, 12, 10)).m_bChecked[i] = 1;
    }
    const Painted p = paint(data, extentFor(60, 20));
    QCOMPARE(p.grid.columnWidth(), 60.0);
    QCOMPARE(p.grid.cellOrigin(11, 9).x() + 15 + 4 * 11, p.grid.right());
    for (int i = 0; i < 14; ++i) {
        const QColor colour(0, 100 + i, 0);
        const int px = 15 + 4 * i;
        QCOMPARE(p.at(12, 10, px, 15) == colour, i <= 11);
        QCOMPARE(p.at(12, 10, px + 1, 2) == colour, i <= 10);
        QCOMPARE(p.at(12, 10, px + 2, 8) == colour, i <= 10);
        QVERIFY(p.at(12, 10, px + 1, 9) != colour);
    }
}

// A day is compared at its midnight; years below 1900 mean "before everything"; any shown year works.
void TestYearPainter::longLinesFollowTheProjectPeriod_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<SYSTEMTIME>("start");
    QTest::addColumn<SYSTEMTIME>("end");
    QTest::addColumn<QList<int>>("juneDaysWithLine");
    QTest::addColumn<QList<int>>("juneDaysWithout");
    QTest::newRow("whole days") << 2011 << sampleMoment(2011, 6, 1, 0, 0, 0)
                                << sampleMoment(2011, 6, 10, 23, 59, 59) << QList<int>{1, 5, 10}
                                << QList<int>{11, 30};
    QTest::newRow("start after midnight")
        << 2011 << sampleMoment(2011, 6, 1, 9, 0, 0) << sampleMoment(2011, 6, 10, 23, 59, 59)
        << QList<int>{2, 10} << QList<int>{1, 11};
    QTest::newRow("end at midnight") << 2011 << sampleMoment(2011, 6, 1, 0, 0, 0)
                                     << sampleMoment(2011, 6, 10, 0, 0, 0) << QList<int>{1, 10}
                                     << QList<int>{11};
    QTest::newRow("start before 1900")
        << 2011 << Calendar::makeDate(1850, 1, 1) << sampleMoment(2011, 6, 10, 23, 59, 59)
        << QList<int>{1, 10} << QList<int>{11};
    QTest::newRow("end before 1900") << 2011 << sampleMoment(2011, 6, 1, 0, 0, 0)
                                     << Calendar::makeDate(1899, 1, 1) << QList<int>{}
                                     << QList<int>{1, 5, 30};
    QTest::newRow("1950") << 1950 << sampleMoment(1950, 6, 3, 0, 0, 0) << sampleMoment(1950, 6, 4, 23, 59, 59)
                          << QList<int>{3, 4} << QList<int>{2, 5};
    QTest::newRow("year 1") << 1 << sampleMoment(1, 1, 1, 0, 0, 0) << sampleMoment(1999, 1, 1, 0, 0, 0)
                            << QList<int>{1, 30} << QList<int>{};
}

void TestYearPainter::longLinesFollowTheProjectPeriod()
{
    QFETCH(int, year);
    QFETCH(SYSTEMTIME, start);
    QFETCH(SYSTEMTIME, end);
    QFETCH(QList<int>, juneDaysWithLine);
    QFETCH(QList<int>, juneDaysWithout);
    YearData data = plainYear(year);
    data.m_settings.m_bShowSundays = 0;
    addProject(data, start, end);
    const Painted p = paint(data, extentFor(60, 20));
    for (const int day : juneDaysWithLine)
        QCOMPARE(p.at(6, day, 15, 14), colorFromColorRef(kProject));
    for (const int day : juneDaysWithout)
        QCOMPARE(p.at(6, day, 15, 14), kWhite);
}

// Grid lines come last, over every fill; the frame covers left..right-1 and top..bottom-1 and is white
// inside.
void TestYearPainter::frameAndGridLinesLieOverFills()
{
    const YearData data = plainYear(2024);
    const Painted p = paint(data, extentFor(60, 20));
    const YearGrid& g = p.grid;
    const QPoint sat6 = g.cellOrigin(0, 5); // Saturday 6 January, fill reaching the grid line at x + 60
    QCOMPARE(p.at(sat6 + QPoint(59, 10)), kGrid);
    QCOMPARE(p.at(sat6 + QPoint(58, 10)), kWeekend);
    QCOMPARE(p.at(QPoint(sat6.x() + 30, g.rowY(6))), kGrid);
    QCOMPARE(p.at(QPoint(g.left(), 300)), kGrid);
    QCOMPARE(p.at(QPoint(g.left() - 1, 300)), kUntouched);
    QCOMPARE(p.at(QPoint(g.right() - 1, 300)), kGrid);
    QCOMPARE(p.at(QPoint(g.right(), 300)), kUntouched);
    QCOMPARE(p.at(QPoint(300, g.top())), kGrid);
    QCOMPARE(p.at(QPoint(300, g.top() - 1)), kUntouched);
    QCOMPARE(p.at(QPoint(300, g.bottom() - 1)), kGrid);
    QCOMPARE(p.at(QPoint(300, g.bottom())), kUntouched);
    QCOMPARE(p.at(1, 3, 40, 15), kWhite);
}

// At two device pixels per unit every logical pixel of the grid is two by two device pixels: the frame,
// the grid lines and the project lines sit where the fills and marks sit, as on a screen of scale 1. Only
// text is drawn at the finer resolution, so the day numbers are off and the labels lie outside the grid.
void TestYearPainter::twoDevicePixelsPerUnitDoubleThePicture_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<bool>("rich");
    QTest::addColumn<bool>("moved");
    for (const bool moved : {false, true}) {
        const char* where = moved ? ", painter moved" : "";
        QTest::addRow("defaults 1000x700%s", where) << QSize(1000, 700) << false << moved;
        QTest::addRow("rich 1000x700%s", where) << QSize(1000, 700) << true << moved;
        QTest::addRow("rich 1920x1080%s", where) << QSize(1920, 1080) << true << moved;
        QTest::addRow("rich 400x300%s", where) << QSize(400, 300) << true << moved;
    }
}

void TestYearPainter::twoDevicePixelsPerUnitDoubleThePicture()
{
    QFETCH(QSize, extent);
    QFETCH(bool, rich);
    QFETCH(bool, moved);
    YearData data = rich ? sampleFullYear(2024) : plainYear(2024);
    data.m_settings.m_bShowDayNumbers = 0;
    const QPoint offset = moved ? QPoint(-7, 5) : QPoint();
    const auto render = [&](int ratio) {
        QImage image(extent * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(kUntouched);
        QPainter painter(&image);
        painter.translate(offset);
        painter.setBackground(kSurfaceBackground);
        CYearPainter().PaintYear(painter, extent, data, PaintResources(data.m_settings));
        return image;
    };
    const QImage single = render(1);
    const QImage doubled = render(2);
    const YearGrid grid(extent, data.m_settings);
    const QRect area = QRect(QPoint(grid.left(), grid.top()), QPoint(grid.right() - 1, grid.bottom() - 1))
                           .translated(offset)
                           .intersected(single.rect());
    qsizetype differing = 0;
    QString first;
    for (int y = 2 * area.top(); y <= 2 * area.bottom() + 1; ++y)
        for (int x = 2 * area.left(); x <= 2 * area.right() + 1; ++x)
            if (doubled.pixel(x, y) != single.pixel(x / 2, y / 2) && differing++ == 0)
                first = QString("device (%1, %2)").arg(x).arg(y);
    QVERIFY2(differing == 0,
             qPrintable(QString("%1 device pixels differ, first at %2").arg(differing).arg(first)));

    // The frame's corner at (15, 50) covers device pixels 30..31 by 100..101, and nothing before them.
    if (!moved && !rich) {
        QCOMPARE(doubled.pixelColor(2 * grid.left(), 2 * grid.top()), kGrid);
        QCOMPARE(doubled.pixelColor(2 * grid.left() + 1, 2 * grid.top() + 1), kGrid);
        QCOMPARE(doubled.pixelColor(2 * grid.left() - 1, 2 * grid.top() - 1), kUntouched);
        const int x = 2 * grid.columnX(1);
        QCOMPARE(doubled.pixelColor(x, 2 * grid.top() + 60), kGrid);
        QCOMPARE(doubled.pixelColor(x + 1, 2 * grid.top() + 60), kGrid);
        QCOMPARE(doubled.pixelColor(x - 1, 2 * grid.top() + 60), kWhite);
    }
}

// A window narrower than two margins or shorter than the top and the margin turns the grid over: its
// lines run up or left, from their start point to one pixel short of their end point (at 50x30 the
// columns' lines cover y 16..50, not 15..49); the frame, whose right or bottom edge lies before its left or
// top one, covers no pixel.
void TestYearPainter::linesOfATurnedOverGridRunFromTheirStart_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<int>("ratio");
    for (const int ratio : {1, 2}) {
        QTest::addRow("defaults at 50x30, scale %d", ratio) << QSize(50, 30) << ratio;
        QTest::addRow("narrower than two margins, scale %d", ratio) << QSize(20, 400) << ratio;
        QTest::addRow("shorter than the top, scale %d", ratio) << QSize(600, 40) << ratio;
        QTest::addRow("both, scale %d", ratio) << QSize(10, 10) << ratio;
    }
}

void TestYearPainter::linesOfATurnedOverGridRunFromTheirStart()
{
    QFETCH(QSize, extent);
    QFETCH(int, ratio);
    const YearData data = plainYear(2024);
    const QImage image = paintAt(data, extent, ratio);
    const YearGrid g(extent, data.m_settings);
    // From the start toward the end, the end left out, whichever way the line runs.
    const auto covers = [](int from, int to, int v) {
        return to >= from ? from <= v && v < to : to < v && v <= from;
    };
    const auto onLine = [&](int x, int y) {
        for (int k = 1; k <= 11; ++k)
            if (x == g.columnX(k) && covers(g.top(), g.bottom(), y))
                return true;
        for (int r = 1; r <= 30; ++r)
            if (y == g.rowY(r) && covers(g.left(), g.right(), x))
                return true;
        return false;
    };
    // Nothing but the lines paints the grid colour here: no cell has a size and the frame has no pixel.
    for (int y = 0; y < extent.height(); ++y)
        for (int x = 0; x < extent.width(); ++x)
            for (int dy = 0; dy < ratio; ++dy)
                for (int dx = 0; dx < ratio; ++dx) {
                    const bool grey = image.pixelColor(ratio * x + dx, ratio * y + dy) == kGrid;
                    if (grey != onLine(x, y))
                        QFAIL(qPrintable(QString("(%1, %2) %3 the grid colour")
                                             .arg(x)
                                             .arg(y)
                                             .arg(grey ? "has" : "lacks")));
                }
}

// From year 1 to 9999 the weekdays, month names and grid lines all appear. Below 1900 a project's end
// counts as before every day, so a project within such a year never shows a line.
void TestYearPainter::everyYearPaintsCompletely_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("firstSaturday");
    QTest::newRow("1") << 1 << 6;
    QTest::newRow("1600") << 1600 << 1;
    QTest::newRow("1899") << 1899 << 7;
    QTest::newRow("1900") << 1900 << 6;
    QTest::newRow("1969") << 1969 << 4;
    QTest::newRow("1970") << 1970 << 3;
    QTest::newRow("3000") << 3000 << 4;
    QTest::newRow("3001") << 3001 << 3;
    QTest::newRow("9999") << 9999 << 2;
}

void TestYearPainter::everyYearPaintsCompletely()
{
    QFETCH(int, year);
    QFETCH(int, firstSaturday);
    YearData data = plainYear(year);
    addYearLongProject(data);
    const Painted p = paint(data, extentFor(60, 20));
    const int bottom = p.grid.cellHeight() - 2;
    QCOMPARE(p.at(1, firstSaturday, 40, bottom), kWeekend);
    QCOMPARE(p.at(1, firstSaturday + 2, 40, bottom), kWhite);
    QCOMPARE(p.at(12, 30, 15, bottom) == colorFromColorRef(kProject), year >= 1900);
    const QPoint december(int(p.grid.columnX(12) - p.grid.columnWidth() + 2), p.grid.top() - 15);
    QCOMPARE(p.at(december), kCellBackground);
    QCOMPARE(p.at(QPoint(p.grid.columnX(11), p.grid.top() + 3)), kGrid);
}

// A list too short for a day raises the error at the paint's end boundary and leaves the painter usable.
void TestYearPainter::anErrorEndsThePaintOnly()
{
    YearData data = plainYear(2024);
    data.m_memos.setCount(40);
    QImage image(extentFor(30, 15), QImage::Format_RGB32);
    QPainter painter(&image);
    const QFont font("DejaVu Sans", 7);
    painter.setFont(font);
    painter.setPen(Qt::green);
    painter.setBrush(Qt::red);
    painter.setBackground(kSurfaceBackground);
    const PaintResources resources(data.m_settings);
    QVERIFY_THROWS_EXCEPTION(InvalidArgument,
                             CYearPainter().PaintYear(painter, image.size(), data, resources));
    QVERIFY(painter.isActive());
    QCOMPARE(painter.font(), font);
    QCOMPARE(painter.pen().color(), QColor(Qt::green));
    QCOMPARE(painter.brush().color(), QColor(Qt::red));
    QCOMPARE(painter.background().color(), kSurfaceBackground);
    data.m_memos.setCount(YearData::kDayListSize);
    CYearPainter().PaintYear(painter, image.size(), data, resources);
}

// Settings come from files: any numbers must give some picture, never a fault (the sanitizer build runs
// this too).
void TestYearPainter::damagedSettingsPaintWithoutFault_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QSize>("extent");
    for (const int value : {INT_MIN, -4, 0, INT_MAX}) {
        for (const QSize extent : {QSize(200, 150), QSize(INT_MAX, INT_MAX), QSize(0, 0), QSize(-5, -5)})
            QTest::addRow("%d, %dx%d", value, extent.width(), extent.height()) << value << extent;
    }
}

void TestYearPainter::damagedSettingsPaintWithoutFault()
{
    QFETCH(int, value);
    QFETCH(QSize, extent);
    YearData data = sampleRichYear(2024);
    DisplaySettings& s = data.m_settings;
    s.m_nMargin = s.m_nTop = s.m_nProjectX = s.m_nProjectPitch = value;
    s.m_nMarkerX = s.m_nMarkerY = s.m_nMarkerWidth = s.m_nMarkerHeight = value;
    s.m_nDayNumberX = s.m_nDayNumberY = value;
    s.m_lfDay.lfHeight = s.m_lfYear.lfHeight = value;
    QImage image(200, 150, QImage::Format_RGB32);
    QPainter painter(&image);
    CYearPainter().PaintYear(painter, extent, data, PaintResources(s));

    YearData zero = data;
    zero.m_settings = DisplaySettings{}; // what an empty year file leaves: year 0, no sizes
    CYearPainter().PaintYear(painter, extent, zero, PaintResources(zero.m_settings));
}

// Views sharing one year's lists paint with their own settings; the lists' own settings play no part.
void TestYearPainter::settingsApartFromTheListsPaintTheSame_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("scale 1") << qreal(1);
    QTest::newRow("scale 2") << qreal(2);
}

void TestYearPainter::settingsApartFromTheListsPaintTheSame()
{
    QFETCH(qreal, ratio);
    YearData shown = sampleRichYear(2024);
    shown.m_settings.m_bShowSundays = 0;
    shown.m_settings.m_stSelected = Calendar::makeDate(2024, 7, 4);
    YearData lists = shown;
    lists.m_settings = DisplaySettings{}; // what the other view would show: nothing
    const QSize extent(900, 700);
    const auto render = [&](const DisplaySettings& settings, const YearData& data) {
        QImage image(extent * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(kUntouched);
        QPainter painter(&image);
        CYearPainter().PaintYear(painter, extent, settings, data, PaintResources(settings));
        return image;
    };
    QImage whole(extent * ratio, QImage::Format_RGB32);
    whole.setDevicePixelRatio(ratio);
    whole.fill(kUntouched);
    {
        QPainter painter(&whole);
        CYearPainter().PaintYear(painter, extent, shown, PaintResources(shown.m_settings));
    }
    QCOMPARE(render(shown.m_settings, lists), whole);
    const QPoint onMemo = YearGrid(extent, shown.m_settings).cellOrigin(2, 4) + QPoint(1, 1); // 5 March
    QCOMPARE(CYearPainter().StatusText(extent, shown.m_settings, lists, onMemo),
             CYearPainter().StatusText(extent, shown, onMemo));
    QCOMPARE(CYearPainter().StatusText(extent, lists.m_settings, shown, onMemo), std::nullopt);
}

// A program that never sets its own painter still paints.
void TestYearPainter::theProcessHasAPainterFromTheStart()
{
    QVERIFY(g_pYearPainter != nullptr);
    const YearData data = plainYear(2024);
    QImage image(extentFor(30, 15), QImage::Format_RGB32);
    QPainter painter(&image);
    g_pYearPainter->PaintYear(painter, image.size(), data, PaintResources(data.m_settings));
}

// A view keeps its resources across paints; the day numbers' advances and ink come from the day font as
// measured for the device, and are measured again only when the resolution changes.
void TestYearPainter::dayNumbersAreMeasuredOncePerResolution_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("italic");
    QTest::newRow("default day font") << 10 << false;
    QTest::newRow("large italic") << 26 << true;
}

void TestYearPainter::dayNumbersAreMeasuredOncePerResolution()
{
    QFETCH(int, height);
    QFETCH(bool, italic);
    YearData data = plainYear(2024);
    data.m_settings.m_lfDay.lfHeight = height;
    data.m_settings.m_lfDay.lfItalic = italic ? 1 : 0;
    const PaintResources resources(data.m_settings);
    QImage screen(10, 10, QImage::Format_RGB32);
    QImage hiDpi(20, 20, QImage::Format_RGB32);
    hiDpi.setDevicePixelRatio(2);
    const DayNumbers& numbers = resources.dayNumbers(&screen);
    QCOMPARE(&resources.dayNumbers(&hiDpi), &numbers); // same resolution: measured once
    const QFontMetrics metrics(resources.dayFont(), &screen);
    int widest = 0;
    QRect ink;
    for (int d = 0; d < 31; ++d) {
        const QString text = QString::asprintf("%02d", d + 1);
        QCOMPARE(DayNumbers::text(d), text);
        QCOMPARE(numbers.width(d), metrics.horizontalAdvance(text));
        widest = std::max(widest, metrics.horizontalAdvance(text));
        ink |= metrics.boundingRect(text).translated(0, metrics.ascent());
    }
    QCOMPARE(numbers.maxWidth(), widest);
    QCOMPARE(numbers.ink(), ink);

    QImage print(10, 10, QImage::Format_RGB32);
    print.setDotsPerMeterX(11811); // 300 dpi
    print.setDotsPerMeterY(11811);
    const DayNumbers& measuredAgain = resources.dayNumbers(&print);
    QCOMPARE(measuredAgain.width(0), QFontMetrics(resources.dayFont(), &print).horizontalAdvance("01"));
}

QTEST_MAIN(TestYearPainter)
#include "tst_yearpainter.moc"
