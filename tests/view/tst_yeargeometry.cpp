#include "DisplaySettings.h"
#include "YearData.h"
#include "YearGrid.h"
#include "YearPainter.h"

#include <QTest>

#include <climits>

namespace {

DisplaySettings defaults()
{
    return DisplaySettings::builtInDefaults(SYSTEMTIME{2011, 3, 2, 15, 0, 0, 0, 0});
}

} // namespace

class TestYearGeometry : public QObject
{
    Q_OBJECT

private slots:
    void cellPitchIsTheUnroundedProduct_data();
    void cellPitchIsTheUnroundedProduct();
    void everyPaintedPixelOfACellHitsThatCell_data();
    void everyPaintedPixelOfACellHitsThatCell();
    void pointsBeyondTheGridNeverNameARealDay_data();
    void pointsBeyondTheGridNeverNameARealDay();
    void damagedLayoutNumbersStayDefined();
    void hugeSurfacesKeepTheirLayout_data();
    void hugeSurfacesKeepTheirLayout();
    void zonesInsideACell_data();
    void zonesInsideACell();
    void zeroPitchHasNoSlot();
};

// Column and row positions truncate double products; rounding anywhere would shift lines by a pixel.
void TestYearGeometry::cellPitchIsTheUnroundedProduct_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<double>("cw");
    QTest::addColumn<double>("rh");
    QTest::addColumn<int>("column3");
    QTest::addColumn<int>("row5");
    QTest::addColumn<int>("cellWidth");
    QTest::addColumn<int>("cellHeight");
    QTest::newRow("full hd") << QSize(1920, 1080) << 157.5 << 32.74193548387097 << 487 << 213 << 157 << 32;
    QTest::newRow("60 px column") << QSize(750, 685) << 60.0 << 20.0 << 195 << 150 << 60 << 20;
    QTest::newRow("odd") << QSize(1001, 707) << 80.91666666666666 << 20.70967741935484 << 257 << 153 << 80
                         << 20;
}

void TestYearGeometry::cellPitchIsTheUnroundedProduct()
{
    QFETCH(QSize, extent);
    QFETCH(double, cw);
    QFETCH(double, rh);
    const YearGrid grid(extent, defaults());
    QCOMPARE(grid.columnWidth(), cw);
    QCOMPARE(grid.rowHeight(), rh);
    QTEST(grid.columnX(3), "column3");
    QTEST(grid.rowY(5), "row5");
    QTEST(grid.cellWidth(), "cellWidth");
    QTEST(grid.cellHeight(), "cellHeight");
    QCOMPARE(grid.right(), extent.width() - 15);
    QCOMPARE(grid.bottom(), extent.height() - 15);
    QCOMPARE(grid.cellOrigin(3, 5), QPoint(grid.columnX(3) + 1, grid.rowY(5) + 1));
}

// A click must select the cell that was painted under the pointer.
void TestYearGeometry::everyPaintedPixelOfACellHitsThatCell_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::newRow("full hd") << QSize(1920, 1080);
    QTest::newRow("odd") << QSize(1001, 707);
    QTest::newRow("small") << QSize(250, 180);
}

void TestYearGeometry::everyPaintedPixelOfACellHitsThatCell()
{
    QFETCH(QSize, extent);
    const DisplaySettings s = defaults();
    const YearGrid grid(extent, s);
    const CYearPainter painter;
    for (int m = 0; m < 12; ++m) {
        for (int d = 0; d < 31; ++d) {
            const QPoint first = grid.cellOrigin(m, d);
            const QPoint last(grid.columnX(m + 1) - 1, grid.rowY(d + 1) - 1);
            for (const QPoint p : {first, last}) {
                const DayHit hit = painter.HitTestDay(extent, s, p);
                QCOMPARE(int(hit.stDate.wMonth), m + 1);
                QCOMPARE(int(hit.stDate.wDay), d + 1);
            }
        }
    }
}

// Beyond the grid the arithmetic must not wrap into a real month or day (a huge column would).
void TestYearGeometry::pointsBeyondTheGridNeverNameARealDay_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::newRow("left by less than a cell") << QPoint(10, 300) << 1 << 8;
    QTest::newRow("above by less than a cell") << QPoint(300, 40) << 2 << 1;
    QTest::newRow("far left") << QPoint(-500, 300) << 0 << 8;
    QTest::newRow("far above") << QPoint(300, -500) << 2 << 0;
    QTest::newRow("right edge") << QPoint(1905, 300) << 13 << 8;
    QTest::newRow("below") << QPoint(300, 1066) << 2 << 32;
    QTest::newRow("int max") << QPoint(INT_MAX, INT_MAX) << 13 << 32;
    QTest::newRow("int min") << QPoint(INT_MIN, INT_MIN) << 0 << 0;
}

void TestYearGeometry::pointsBeyondTheGridNeverNameARealDay()
{
    QFETCH(QPoint, pos);
    const DayHit hit = CYearPainter().HitTestDay(QSize(1920, 1080), defaults(), pos);
    QTEST(int(hit.stDate.wMonth), "month");
    QTEST(int(hit.stDate.wDay), "day");
    QCOMPARE(int(hit.stDate.wYear), 2011);
}

// Settings come from files: absurd numbers and a grid of no size must give results, not overflow.
void TestYearGeometry::damagedLayoutNumbersStayDefined()
{
    const CYearPainter painter;
    for (const int v : {INT_MIN, INT_MAX, 0, -1}) {
        DisplaySettings s = defaults();
        s.m_nMargin = s.m_nTop = s.m_nProjectX = s.m_nProjectPitch = v;
        s.m_nMarkerX = s.m_nMarkerY = s.m_nMarkerWidth = s.m_nMarkerHeight = v;
        s.m_nDayNumberX = s.m_nDayNumberY = v;
        for (const QSize extent : {QSize(1920, 1080), QSize(0, 0), QSize(-1, -1), QSize(INT_MAX, INT_MAX)}) {
            for (const QPoint p : {QPoint(0, 0), QPoint(INT_MAX, INT_MIN), QPoint(500, 500)}) {
                const DayHit hit = painter.HitTestDay(extent, s, p);
                QVERIFY(hit.stDate.wMonth <= 13);
                QVERIFY(hit.stDate.wDay <= 32);
            }
        }
    }
}

// A print surface can be millions of pixels wide: the hit test and the status text still follow its grid.
void TestYearGeometry::hugeSurfacesKeepTheirLayout_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    const int big = 1 << 21;
    QTest::newRow("2^21, left of and above the grid") << QSize(big, big) << QPoint(-100000, -1) << 1 << 1;
    QTest::newRow("2^21, last cell") << QSize(big, big) << QPoint(big - 20, big - 20) << 12 << 31;
    QTest::newRow("2^21, middle") << QSize(big, big) << QPoint(big / 2 + 10, big / 2) << 7 << 16;
    QTest::newRow("2^24 wide") << QSize(1 << 24, 1080) << QPoint((1 << 24) - 20, 60) << 12 << 1;
}

void TestYearGeometry::hugeSurfacesKeepTheirLayout()
{
    QFETCH(QSize, extent);
    QFETCH(QPoint, pos);
    const DisplaySettings s = defaults();
    const CYearPainter painter;
    const DayHit hit = painter.HitTestDay(extent, s, pos);
    QTEST(int(hit.stDate.wMonth), "month");
    QTEST(int(hit.stDate.wDay), "day");
    // Exactly what the layout gives, computed here in doubles.
    const double cw = (extent.width() - 30) * 0.08333333333333333;
    const double rh = (extent.height() - 65) * 0.03225806451612903;
    QCOMPARE(int(hit.stDate.wMonth), int((pos.x() - 15) / cw) + 1);
    QCOMPARE(int(hit.stDate.wDay), int((pos.y() - 50) / rh) + 1);

    YearData year;
    year.reset();
    year.m_settings = s;
    const std::optional<QString> text = painter.StatusText(extent, year, pos);
    QVERIFY(text);
    QVERIFY2(text->startsWith(QLatin1Char(' ')) && text->contains(QStringLiteral(", 2011")),
             qPrintable(*text));
}

// The inclusive zones of the defaults: memo, alarm, day-number box and slots as the status bar reads them.
void TestYearGeometry::zonesInsideACell_data()
{
    QTest::addColumn<int>("cx");
    QTest::addColumn<int>("cy");
    QTest::addColumn<bool>("memo");
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<bool>("dayNumber");
    QTest::addColumn<int>("slot");
    QTest::newRow("grid corner") << 0 << 0 << false << false << false << -1;
    QTest::newRow("memo first") << 1 << 1 << true << false << false << -1;
    QTest::newRow("memo last") << 3 << 4 << true << false << false << -1;
    QTest::newRow("right of memo") << 4 << 2 << false << false << false << -1;
    QTest::newRow("alarm first") << 1 << 5 << false << true << false << -1;
    QTest::newRow("alarm last") << 3 << 8 << false << true << false << -1;
    QTest::newRow("below alarm") << 2 << 9 << false << false << false << -1;
    QTest::newRow("number box first") << 5 << 0 << false << false << true << -1;
    QTest::newRow("number box last") << 15 << 10 << false << false << true << 0;
    QTest::newRow("below number box") << 10 << 11 << false << false << false << -1;
    QTest::newRow("before slot 0") << 14 << 20 << false << false << false << -1;
    QTest::newRow("slot 0") << 18 << 20 << false << false << false << 0;
    QTest::newRow("slot 1") << 19 << 20 << false << false << false << 1;
    QTest::newRow("slot 35") << 155 << 20 << false << false << false << 35;
}

void TestYearGeometry::zonesInsideACell()
{
    QFETCH(int, cx);
    QFETCH(int, cy);
    // Whole-pixel pitches (157.5 x 32): with a fractional pitch a corner may truncate into the cell before.
    const QSize extent(1920, 1057);
    const DisplaySettings s = defaults();
    const YearGrid grid(extent, s);
    const QPoint corner(grid.columnX(4), grid.rowY(9)); // 10 May
    const DayHit hit = CYearPainter().HitTestDay(extent, s, corner + QPoint(cx, cy));
    QTEST(hit.bOnMemo, "memo");
    QTEST(hit.bOnAlarm, "alarm");
    QTEST(hit.bOnRedDay, "dayNumber");
    QTEST(hit.nSlot, "slot");
    QCOMPARE(hit.stDate, (SYSTEMTIME{2011, 5, 0, 10, 0, 0, 0, 0}));
}

// An all-zero settings record (an empty year file) must not divide by its zero pitch.
void TestYearGeometry::zeroPitchHasNoSlot()
{
    DisplaySettings s = defaults();
    s.m_nProjectPitch = 0;
    const DayHit hit = CYearPainter().HitTestDay(QSize(1920, 1080), s, QPoint(300, 300));
    QCOMPARE(hit.nSlot, -1);
    const DayHit zero = CYearPainter().HitTestDay(QSize(1920, 1080), DisplaySettings{}, QPoint(300, 300));
    QCOMPARE(zero.nSlot, -1);
}

QTEST_APPLESS_MAIN(TestYearGeometry)
#include "tst_yeargeometry.moc"
