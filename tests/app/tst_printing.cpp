// Printing keeps the year's on-screen physical size: one logical unit is one screen pixel, mapped to the
// device separately in x and y. Measured on the printed pixels, not on the code's own numbers.

#include "DataStore.h"
#include "ManualClock.h"
#include "Moments.h"
#include "PrintSettings.h"
#include "TolvaView.h"
#include "YearPrinter.h"
#include "YearRegistry.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using TestSupport::moment;

namespace {

const QSizeF kScreen96{96.0, 96.0};
// The default grid colour is grey 200 on white paper: anything darker than 230 is ink.
constexpr int kDark = 230;

bool dark(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y)) < kDark;
}

// The first run of ink along a row (vertical false) or column, in device pixels: [first, end).
struct Run
{
    int first = -1;
    int end = -1;
};

Run firstRun(const QImage& image, int fixed, bool alongColumn)
{
    const int length = alongColumn ? image.height() : image.width();
    Run run;
    for (int i = 0; i < length; ++i) {
        const bool ink = alongColumn ? dark(image, fixed, i) : dark(image, i, fixed);
        if (ink && run.first < 0)
            run.first = i;
        if (!ink && run.first >= 0) {
            run.end = i;
            break;
        }
    }
    return run;
}

// Whether a one-unit line drawn at screen pixel `at` is what the run shows at `scale` device pixels per
// screen pixel. Such a line covers [at, at + 1) when filled and [at - 0.5, at + 0.5) when stroked by a pen
// centred on it; a device pixel of rounding is allowed at either end.
bool lineAt(const Run& run, double scale, double at)
{
    if (run.first < 0 || run.end < 0)
        return false;
    const double a = run.first / scale;
    const double b = run.end / scale;
    const double slack = 1.0 / scale;
    return a - slack <= at && at < b + slack && b - a <= 1.0 + 2 * slack;
}

// The device row through the middle of 4 January 2011, a Tuesday: white cells on either side of the left
// frame line (a weekend's fill would join the line's ink).
int rowThroughJanuary4(int deviceHeight, double scale)
{
    const double extentHeight = std::floor(deviceHeight / scale);
    const double rowHeight = (extentHeight - 50 - 15) / 31.0;
    return int((50 + 3.5 * rowHeight) * scale);
}

QString describe(const Run& run, double scale)
{
    return QStringLiteral("ink over device pixels [%1, %2), screen pixels [%3, %4)")
        .arg(run.first)
        .arg(run.end)
        .arg(run.first / scale)
        .arg(run.end / scale);
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pageKeepsScreenSizePerAxis_data();
    void pageKeepsScreenSizePerAxis();
    void pdfHasOnePageWithTheMarginAtScreenSize();
    void screenPaintingAfterPrintingIsUnscaled();
    void orientationIsKeptPerPrinter_data();
    void orientationIsKeptPerPrinter();
    void freshPrinterPrintsTheYearLandscapeOnOneSheet();

private:
    QTemporaryDir m_dir;
    DataStore m_store;
    ManualClock m_clock{moment(2011, 3, 15, 9, 0, 0)};
    std::unique_ptr<YearRegistry> m_registry;
    std::unique_ptr<CTolvaView> m_view;
    DisplaySettings m_defaults{};
};

void TestPrinting::initTestCase()
{
    // Settings of this run only.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QVERIFY(m_store.CaptureWorkDir(m_dir.path()).ok());
    m_defaults = DisplaySettings::builtInDefaults(moment(2011, 3, 15));
    QCOMPARE(m_defaults.m_nMargin, 15);
    QCOMPARE(m_defaults.m_nTop, 50);
    m_registry = std::make_unique<YearRegistry>(m_store, m_defaults);
    m_view = std::make_unique<CTolvaView>(*m_registry, m_clock);
    m_view->resize(1200, 800);
    m_view->OnInitialUpdate();
}

void TestPrinting::cleanupTestCase()
{
    m_view.reset();
    m_registry.reset();
}

void TestPrinting::pageKeepsScreenSizePerAxis_data()
{
    QTest::addColumn<int>("dpiX");
    QTest::addColumn<int>("dpiY");
    QTest::newRow("screen itself") << 96 << 96;
    QTest::newRow("300 dpi") << 300 << 300;
    QTest::newRow("600 by 300 dpi") << 600 << 300;
    QTest::newRow("300 by 600 dpi") << 300 << 600;
}

// The left frame line lies 15 screen pixels (15/96 inch) in, the top grid line 50 down, at any device
// resolution, each axis at its own.
void TestPrinting::pageKeepsScreenSizePerAxis()
{
    QFETCH(int, dpiX);
    QFETCH(int, dpiY);
    const double inchesWide = 6.0;
    const double inchesHigh = 4.0;
    QImage page(int(inchesWide * dpiX), int(inchesHigh * dpiY), QImage::Format_RGB32);
    page.setDotsPerMeterX(int(std::lround(dpiX / 0.0254)));
    page.setDotsPerMeterY(int(std::lround(dpiY / 0.0254)));
    QCOMPARE(page.logicalDpiX(), dpiX);
    QCOMPARE(page.logicalDpiY(), dpiY);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        YearPrinter::paintPage(*m_view, painter, page, kScreen96);
    }

    const QSize extent = YearPrinter::pageExtent(page, kScreen96);
    QCOMPARE(extent, QSize(int(inchesWide * 96), int(inchesHigh * 96)));

    const double sx = dpiX / 96.0;
    const double sy = dpiY / 96.0;
    // The left frame line.
    const Run left = firstRun(page, rowThroughJanuary4(page.height(), sy), false);
    QVERIFY2(lineAt(left, sx, 15), qPrintable(describe(left, sx)));
    // The top grid line, down a column in the right half of December's cells, clear of the year label
    // and the month names above the grid.
    const double cw = (extent.width() - 2 * 15) / 12.0;
    const Run top = firstRun(page, int((15 + 11.8 * cw) * sx), true);
    QVERIFY2(lineAt(top, sy, 50), qPrintable(describe(top, sy)));
}

// A year printed to a PDF file: one page, and at the default settings the grid's margin measures 15/96
// inch on the rendered page.
void TestPrinting::pdfHasOnePageWithTheMarginAtScreenSize()
{
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdftoppm.isEmpty() || pdfinfo.isEmpty())
        QSKIP("poppler-utils (pdftoppm, pdfinfo) is not installed; tools/deps.sh installs it");

    const QString pdf = m_dir.filePath(QStringLiteral("year.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setResolution(600);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    // The page's own edge is the origin, so the grid's margin is measured from the paper's edge.
    printer.setFullPage(true);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QVERIFY(YearPrinter::print(*m_view, printer, kScreen96));

    QProcess info;
    info.start(pdfinfo, {pdf});
    QVERIFY(info.waitForFinished(60000));
    QVERIFY2(info.readAllStandardOutput().contains("Pages:           1\n"), "not one page");

    const int renderDpi = 192;
    const QString prefix = m_dir.filePath(QStringLiteral("page"));
    QProcess render;
    render.start(pdftoppm, {QStringLiteral("-r"), QString::number(renderDpi), QStringLiteral("-gray"),
                            QStringLiteral("-singlefile"), pdf, prefix});
    QVERIFY(render.waitForFinished(60000));
    QCOMPARE(render.exitCode(), 0);
    const QImage page(prefix + QStringLiteral(".pgm"));
    QVERIFY(!page.isNull());

    // At the default settings the frame line's left edge is 15 screen pixels from the paper's edge, so
    // the margin on paper is 15/96 inch (within the half pixel a line's pen may take either side of it).
    const double scale = renderDpi / 96.0;
    const Run left = firstRun(page, rowThroughJanuary4(page.height(), scale), false);
    QVERIFY2(lineAt(left, scale, 15), qPrintable(describe(left, scale)));
    const double marginInches = (left.first + left.end) / 2.0 / renderDpi;
    QVERIFY2(std::abs(marginInches - 15.0 / 96.0) <= 0.5 / 96.0 + 1.0 / renderDpi,
             qPrintable(QStringLiteral("margin %1 in, expected %2 in").arg(marginInches).arg(15.0 / 96.0)));
}

// The mapping is the printed page's only: the window paints one logical unit per pixel afterwards.
void TestPrinting::screenPaintingAfterPrintingIsUnscaled()
{
    QImage before(m_view->size(), QImage::Format_RGB32);
    before.fill(Qt::white);
    {
        QPainter p(&before);
        m_view->paintYear(p, m_view->size());
    }
    QImage printed(600, 400, QImage::Format_RGB32);
    printed.setDotsPerMeterX(int(std::lround(300 / 0.0254)));
    printed.setDotsPerMeterY(int(std::lround(300 / 0.0254)));
    printed.fill(Qt::white);
    {
        QPainter p(&printed);
        YearPrinter::paintPage(*m_view, p, printed, kScreen96);
    }
    QImage after(m_view->size(), QImage::Format_RGB32);
    after.fill(Qt::white);
    {
        QPainter p(&after);
        m_view->paintYear(p, m_view->size());
    }
    QCOMPARE(after, before);
    QCOMPARE(firstRun(after, 400, false).first, 15);
}

void TestPrinting::orientationIsKeptPerPrinter_data()
{
    // Each step "printer=portrait|landscape" is a choice made in a dialog; then each printer is asked.
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QStringList>("expected"); // printer=orientation after the choices

    QTest::newRow("nobody chose: landscape")
        << QStringList{} << QStringList{"office=landscape", "pdf=landscape"};
    QTest::newRow("portrait for one printer only")
        << QStringList{"office=portrait"} << QStringList{"office=portrait", "pdf=landscape", "lab=landscape"};
    QTest::newRow("the last choice counts")
        << QStringList{"pdf=portrait", "pdf=landscape"} << QStringList{"pdf=landscape"};
    QTest::newRow("a name with a slash is one printer")
        << QStringList{"ipp/queue=portrait"}
        << QStringList{"ipp/queue=portrait", "ipp=landscape", "queue=landscape"};
}

// A user who turned one printer's page upright should not find every other printer upright too.
void TestPrinting::orientationIsKeptPerPrinter()
{
    QFETCH(QStringList, choices);
    QFETCH(QStringList, expected);
    QSettings().remove(QStringLiteral("printing"));
    for (const QString& c : choices) {
        const QStringList kv = c.split(QLatin1Char('='));
        PrintSettings::setOrientation(
            kv.at(0), kv.at(1) == QLatin1String("portrait") ? QPageLayout::Portrait : QPageLayout::Landscape);
    }
    for (const QString& e : expected) {
        const QStringList kv = e.split(QLatin1Char('='));
        const QPageLayout::Orientation o = PrintSettings::orientation(kv.at(0));
        QCOMPARE(o == QPageLayout::Portrait ? QStringLiteral("portrait") : QStringLiteral("landscape"),
                 kv.at(1));
    }
}

// The year is wide: on a printer nobody set up it goes on a landscape sheet, filling it and no more.
void TestPrinting::freshPrinterPrintsTheYearLandscapeOnOneSheet()
{
    QSettings().remove(QStringLiteral("printing"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("fresh.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    PrintSettings::apply(printer);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    const QSize extent = YearPrinter::pageExtent(printer, kScreen96);
    QVERIFY(extent.width() > extent.height());
    // Within the printable area of a landscape A4 sheet (297 mm by 210 mm) at 96 screen pixels per inch.
    QVERIFY(extent.width() <= int(297 / 25.4 * 96) && extent.height() <= int(210 / 25.4 * 96));

    // Turned upright in a dialog, the choice outlives the printer object.
    printer.setPageOrientation(QPageLayout::Portrait);
    PrintSettings::remember(printer);
    QPrinter again(QPrinter::HighResolution);
    again.setOutputFormat(QPrinter::PdfFormat);
    PrintSettings::apply(again);
    QCOMPARE(again.pageLayout().orientation(), QPageLayout::Portrait);
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
