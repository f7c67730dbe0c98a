#include "LiteralYearPainter.h"
#include "PaintResources.h"
#include "SampleYears.h"
#include "YearPainter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <functional>

namespace {

using Tweak = std::function<void(YearData&)>;

QImage render(const YearData& data, QSize extent, bool literal)
{
    QImage image(extent, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    painter.setBackground(QColor(0, 255, 255));
    const PaintResources resources(data.m_settings);
    if (literal)
        paintYearLiterally(painter, extent, data, resources);
    else
        CYearPainter().PaintYear(painter, extent, data, resources);
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

} // namespace

Q_DECLARE_METATYPE(Tweak)

class TestPainterReference : public QObject
{
    Q_OBJECT

private slots:
    void sameImageAsTheLiteralRules_data();
    void sameImageAsTheLiteralRules();
};

// The painter batches project strokes and lays out texts once; the picture must stay that of the rules
// followed cell by cell, also where cell contents spill into their neighbours.
void TestPainterReference::sameImageAsTheLiteralRules_data()
{
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<int>("year");
    QTest::addColumn<Tweak>("tweak");
    const Tweak none = [](YearData&) {};
    QTest::newRow("1200x800") << QSize(1200, 800) << 2024 << none;
    QTest::newRow("full hd") << QSize(1920, 1080) << 2023 << none;
    QTest::newRow("60 px columns") << QSize(750, 685) << 2024 << none;
    QTest::newRow("small") << QSize(400, 300) << 2024 << none;
    QTest::newRow("low rows: marks reach the next row") << QSize(1600, 300) << 2024 << none;
    QTest::newRow("narrow and tall") << QSize(300, 1100) << 2024 << none;
    QTest::newRow("year 1899") << QSize(1200, 800) << 1899 << none;
    QTest::newRow("full year") << QSize(1920, 1080) << 2024
                               << Tweak([](YearData& d) { d = sampleFullYear(2024); });
    QTest::newRow("day numbers left of their cell") << QSize(1200, 800) << 2024 << Tweak([](YearData& d) {
        d.m_settings.m_nDayNumberX = -8; // over the last slots of the cell to the left
        d.m_settings.m_nDayNumberY = -3;
        d.m_settings.m_nProjectPitch = 6;
    });
    QTest::newRow("big day numbers") << QSize(1200, 800) << 2024 << Tweak([](YearData& d) {
        d.m_settings.m_lfDay.lfHeight = 26;
        d.m_settings.m_lfDay.lfItalic = 1;
    });
    QTest::newRow("slots left of the cell")
        << QSize(1200, 800) << 2024 << Tweak([](YearData& d) { d.m_settings.m_nProjectX = -30; });
    QTest::newRow("wide slots") << QSize(1400, 600) << 2024
                                << Tweak([](YearData& d) { d.m_settings.m_nProjectPitch = 9; });
    QTest::newRow("zero pitch") << QSize(1200, 800) << 2024
                                << Tweak([](YearData& d) { d.m_settings.m_nProjectPitch = 0; });
    QTest::newRow("markers above their cell") << QSize(1200, 800) << 2024 << Tweak([](YearData& d) {
        d.m_settings.m_nMarkerY = -3;
        d.m_settings.m_nMarkerWidth = 30;
    });
    QTest::newRow("selected 31 April, no weekends") << QSize(1200, 800) << 2024 << Tweak([](YearData& d) {
        d.m_settings.m_stSelected.wMonth = 4;
        d.m_settings.m_stSelected.wDay = 31;
        d.m_settings.m_bShowSundays = 0;
    });
}

void TestPainterReference::sameImageAsTheLiteralRules()
{
    QFETCH(QSize, extent);
    QFETCH(int, year);
    QFETCH(Tweak, tweak);
    YearData data = sampleRichYear(year);
    tweak(data);
    const QImage fast = render(data, extent, false);
    const QImage literal = render(data, extent, true);
    QVERIFY2(fast == literal, qPrintable(firstDifference(fast, literal)));
}

QTEST_MAIN(TestPainterReference)
#include "tst_painterreference.moc"
