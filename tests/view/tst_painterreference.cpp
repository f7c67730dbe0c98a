#include "Calendar.h"
#include "InvalidArgument.h"
#include "LiteralYearPainter.h"
#include "PaintResources.h"
#include "QtConversion.h"
#include "SampleYears.h"
#include "YearPainter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <functional>

namespace {

using Tweak = std::function<void(YearData&)>;

// The year laid out for `extent` logical pixels on an image of `ratio` device pixels per logical one, the
// painter moved by `offset` logical pixels (as a widget's painter is within its window).
QImage render(const YearData& data, QSize extent, qreal ratio, bool literal, QPoint offset = QPoint(),
              QImage::Format format = QImage::Format_RGB32, const PaintResources* kept = nullptr,
              const QColor& surfaceBackground = QColor(0, 255, 255), const QRect& clip = QRect())
{
    QImage image(extent * ratio, format);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    painter.translate(offset);
    if (!clip.isNull())
        painter.setClipRect(clip);
    painter.setBackground(surfaceBackground);
    const PaintResources own(data.m_settings);
    const PaintResources& resources = kept ? *kept : own;
    try {
        if (literal)
            paintYearLiterally(painter, extent, data, resources);
        else
            CYearPainter().PaintYear(painter, extent, data, resources);
    } catch (const InvalidArgument&) {
        // A list too short for a day: the picture so far is compared.
    }
    return image;
}

QString firstDifference(const QImage& a, const QImage& b)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QString("(%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixelColor(x, y).name(), b.pixelColor(x, y).name());
    return {};
}

// Every cell's number reaches over the first slots, so that lines and marks stand on it.
void fullYearWithNumbersOver(YearData& d)
{
    d = sampleFullYear(2024);
    d.m_settings.m_nDayNumberX = 12;
    d.m_settings.m_lfDay.lfHeight = 18;
}

} // namespace

Q_DECLARE_METATYPE(Tweak)

class TestPainterReference : public QObject
{
    Q_OBJECT

private slots:
    void sameImageAsTheLiteralRules_data();
    void sameImageAsTheLiteralRules();
    void sameImageThroughAMovedPainter_data();
    void sameImageThroughAMovedPainter();
    void sameImageThroughAClippedPainter_data();
    void sameImageThroughAClippedPainter();
    void sameImageWhenTheViewPaintsAgain();
};

// The painter batches project strokes and lays out texts once; the picture must stay that of the rules
// followed cell by cell, also where cell contents spill into their neighbours, on every kind of screen.
// The reference writes the pen's pixels itself, so that the painter's placement of lines at scale 2 and
// on turned-over grids is checked against the rules rather than against QPainter's stroker.
void TestPainterReference::sameImageAsTheLiteralRules_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("year");
    QTest::addColumn<Tweak>("tweak");
    const Tweak none = [](YearData&) {};
    const Tweak fullYear = [](YearData& d) { d = sampleFullYear(2024); };
    struct Case
    {
        const char* name;
        int year;
        Tweak tweak;
    };
    const Case cases[] = {
        {"rich", 2024, none},
        {"common year", 2023, none},
        {"full year", 2024, fullYear},
        {"day numbers left of their cell", 2024,
         [](YearData& d) {
             d.m_settings.m_nDayNumberX = -8; // over the last slots of the cell to the left
             d.m_settings.m_nDayNumberY = -3;
             d.m_settings.m_nProjectPitch = 6;
         }},
        {"big day numbers", 2024,
         [](YearData& d) {
             d.m_settings.m_lfDay.lfHeight = 26;
             d.m_settings.m_lfDay.lfItalic = 1;
         }},
        {"slots left of the cell", 2024, [](YearData& d) { d.m_settings.m_nProjectX = -30; }},
        {"day numbers over the slots", 2024, [](YearData& d) { fullYearWithNumbersOver(d); }},
        {"wide slots", 2024, [](YearData& d) { d.m_settings.m_nProjectPitch = 9; }},
        {"marks reach the next row", 2024,
         [](YearData& d) {
             d = sampleFullYear(2024);
             d.m_settings.m_nProjectPitch = 40;
         }},
        {"zero pitch", 2024, [](YearData& d) { d.m_settings.m_nProjectPitch = 0; }},
        {"markers above their cell", 2024,
         [](YearData& d) {
             d.m_settings.m_nMarkerY = -3;
             d.m_settings.m_nMarkerWidth = 30;
         }},
        {"markers over the slots", 2024,
         [](YearData& d) {
             d = sampleFullYear(2024);
             d.m_settings.m_nMarkerX = 30;
             d.m_settings.m_nMarkerWidth = 9;
         }},
        {"selected 31 April, no weekends", 2024,
         [](YearData& d) {
             d.m_settings.m_stSelected.wMonth = 4;
             d.m_settings.m_stSelected.wDay = 31;
             d.m_settings.m_bShowSundays = 0;
         }},
        {"year 1899", 1899, none},
        // Month names over the top of the grid, which the rules' grid lines then cross.
        {"month names reach into the grid", 2024,
         [](YearData& d) {
             d.m_settings.m_lfMonth.lfHeight = 40;
             d.m_settings.m_lfMonth.lfItalic = 1;
         }},
        // The last row of cells lies on the frame's outline at 1920x1080: what a plain cell draws there
        // covers the outline, the rest of the outline stays.
        {"numbers and markers at the foot of the cells", 2024,
         [](YearData& d) {
             d = sampleFullYear(2024);
             d.m_settings.m_nDayNumberY = 22;
             d.m_settings.m_nMarkerY = 24;
         }},
        // Lists shorter than a year stop the paint at the first day they lack; the cells before stand.
        {"alarm texts end at day 100", 2024,
         [](YearData& d) {
             d = sampleFullYear(2024);
             d.m_alarmTexts.setCount(100);
         }},
        {"day marks end at day 200", 2024,
         [](YearData& d) {
             d = sampleFullYear(2024);
             d.m_dayMarks.setCount(200);
         }},
        {"memos end at day 40, rich year", 2024, [](YearData& d) { d.m_memos.setCount(40); }},
        {"red texts end at day 300, numbers over the slots", 2024,
         [](YearData& d) {
             fullYearWithNumbersOver(d);
             d.m_redTexts.setCount(300);
         }},
    };
    const struct
    {
        QSize extent;
        qreal ratio;
    } screens[] = {{QSize(1920, 1080), 1}, {QSize(3840, 2160), 1}, {QSize(1920, 1080), 2}};
    for (const Case& c : cases)
        for (const auto& screen : screens)
            QTest::addRow("%s, %dx%d at %g", c.name, screen.extent.width(), screen.extent.height(),
                          screen.ratio)
                << screen.extent << screen.ratio << c.year << c.tweak;

    // Sizes where the thresholds and the spill-over cases meet.
    for (const qreal ratio : {1.0, 2.0}) {
        QTest::addRow("1200x800 at %g", ratio) << QSize(1200, 800) << ratio << 2024 << none;
        QTest::addRow("60 px columns at %g", ratio) << QSize(750, 685) << ratio << 2024 << none;
        QTest::addRow("small at %g", ratio) << QSize(400, 300) << ratio << 2024 << none;
        QTest::addRow("low rows: marks reach the next row at %g", ratio)
            << QSize(1600, 300) << ratio << 2024 << none;
        QTest::addRow("low rows, full year at %g", ratio) << QSize(1600, 300) << ratio << 2024 << fullYear;
        QTest::addRow("narrow and tall at %g", ratio) << QSize(300, 1100) << ratio << 2024 << none;
        // Grids turned over: their lines run up or left.
        QTest::addRow("turned over, 50x30 at %g", ratio) << QSize(50, 30) << ratio << 2024 << none;
        QTest::addRow("turned over, narrower than the margins at %g", ratio)
            << QSize(20, 400) << ratio << 2024 << fullYear;
        QTest::addRow("turned over, shorter than the top at %g", ratio)
            << QSize(900, 40) << ratio << 2024 << fullYear;
        QTest::addRow("low rows, alarm texts end at day 100 at %g", ratio)
            << QSize(1600, 300) << ratio << 2024 << Tweak([](YearData& d) {
                   d = sampleFullYear(2024);
                   d.m_alarmTexts.setCount(100);
               });
    }
}

void TestPainterReference::sameImageAsTheLiteralRules()
{
    QFETCH(QSize, extent);
    QFETCH(qreal, ratio);
    QFETCH(int, year);
    QFETCH(Tweak, tweak);
    YearData data = sampleRichYear(year);
    tweak(data);
    const QImage fast = render(data, extent, ratio, false);
    const QImage literal = render(data, extent, ratio, true);
    QVERIFY2(fast == literal, qPrintable(firstDifference(fast, literal)));
}

// A widget's painter is moved to the widget's place in its window, and the window's backing store has an
// alpha channel; the fast paths must give the same picture there.
void TestPainterReference::sameImageThroughAMovedPainter_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<bool>("full");
    for (const qreal ratio : {1.0, 2.0})
        for (const bool full : {false, true}) {
            QTest::addRow("%s at %g, moved by (3, 7)", full ? "full year" : "rich year", ratio)
                << ratio << QPoint(3, 7) << full;
            QTest::addRow("%s at %g, moved by (-40, -20)", full ? "full year" : "rich year", ratio)
                << ratio << QPoint(-40, -20) << full;
        }
}

void TestPainterReference::sameImageThroughAMovedPainter()
{
    QFETCH(qreal, ratio);
    QFETCH(QPoint, offset);
    QFETCH(bool, full);
    const YearData data = full ? sampleFullYear(2024) : sampleRichYear(2024);
    const QSize extent(1600, 900);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const QImage fast = render(data, extent, ratio, false, offset, format);
        const QImage literal = render(data, extent, ratio, true, offset, format);
        QVERIFY2(fast == literal, qPrintable(firstDifference(fast, literal)));
    }
}

// A clipped painter (a window exposed in part, a caller's clip) keeps the pixels out of the image's
// memory: the painter paints them, and the picture must be the same.
void TestPainterReference::sameImageThroughAClippedPainter_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QRect>("clip");
    QTest::addColumn<bool>("full");
    for (const qreal ratio : {1.0, 2.0})
        for (const bool full : {false, true}) {
            const char* year = full ? "full year" : "rich year";
            QTest::addRow("%s at %g, the whole surface", year, ratio)
                << ratio << QRect(0, 0, 1600, 900) << full;
            QTest::addRow("%s at %g, a part across cells", year, ratio)
                << ratio << QRect(333, 101, 707, 419) << full;
        }
}

void TestPainterReference::sameImageThroughAClippedPainter()
{
    QFETCH(qreal, ratio);
    QFETCH(QRect, clip);
    QFETCH(bool, full);
    const YearData data = full ? sampleFullYear(2024) : sampleRichYear(2024);
    const QSize extent(1600, 900);
    const QImage fast = render(data, extent, ratio, false, QPoint(), QImage::Format_RGB32, nullptr,
                               QColor(0, 255, 255), clip);
    const QImage literal =
        render(data, extent, ratio, true, QPoint(), QImage::Format_RGB32, nullptr, QColor(0, 255, 255), clip);
    QVERIFY2(fast == literal, qPrintable(firstDifference(fast, literal)));
}

// A view keeps its paint resources, and with them what earlier paints drew; each later paint, of other
// contents, colours, sizes or screens, must still show its own picture.
void TestPainterReference::sameImageWhenTheViewPaintsAgain()
{
    YearData year = sampleRichYear(2024);
    const PaintResources kept(year.m_settings);
    struct Step
    {
        const char* name;
        std::function<void(YearData&)> change;
        QSize extent;
        qreal ratio;
        QColor surface;
    };
    const Step steps[] = {
        {"first paint", [](YearData&) {}, QSize(1920, 1080), 1, QColor(0, 255, 255)},
        {"full year", [](YearData& d) { d = sampleFullYear(2024); }, QSize(1920, 1080), 1,
         QColor(0, 255, 255)},
        {"project colours changed",
         [](YearData& d) {
             for (qsizetype i = 0; i < d.m_projects.count(); i += 3)
                 d.m_projects.at(i).m_crColor = makeColorRef(250, 10, 10);
         },
         QSize(1920, 1080), 1, QColor(0, 255, 255)},
        {"another day selected, other colours",
         [](YearData& d) {
             d.m_settings.m_stSelected = Calendar::makeDate(2024, 1, 1);
             d.m_settings.m_crSunday = makeColorRef(210, 230, 250);
             d.m_settings.m_crBackground = makeColorRef(250, 250, 200);
         },
         QSize(1920, 1080), 1, QColor(0, 255, 255)},
        {"other surface background", [](YearData&) {}, QSize(1920, 1080), 1, QColor(40, 40, 40)},
        {"resized", [](YearData&) {}, QSize(1700, 1000), 1, QColor(40, 40, 40)},
        {"moved to a HiDPI screen", [](YearData&) {}, QSize(1700, 1000), 2, QColor(40, 40, 40)},
        {"marks and memos gone", [](YearData& d) { d = sampleRichYear(2025); }, QSize(1700, 1000), 2,
         QColor(40, 40, 40)},
    };
    for (const Step& step : steps) {
        step.change(year);
        const QImage fast =
            render(year, step.extent, step.ratio, false, QPoint(), QImage::Format_RGB32, &kept, step.surface);
        const QImage literal =
            render(year, step.extent, step.ratio, true, QPoint(), QImage::Format_RGB32, &kept, step.surface);
        QVERIFY2(fast == literal, qPrintable(QString(step.name) + ": " + firstDifference(fast, literal)));
    }
}

QTEST_MAIN(TestPainterReference)
#include "tst_painterreference.moc"
