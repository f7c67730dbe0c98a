#include "CliFixture.h"
#include "ManualClock.h"
#include "TolvaView.h"
#include "YearGrid.h"
#include "YearPainter.h"
#include "YearReader.h"
#include "YearRegistry.h"

#include <QApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;

QJsonObject dayEntry(const QJsonObject& dump, const QString& date)
{
    for (const QJsonValue& v : dump.value(QStringLiteral("days")).toArray())
        if (v.toObject().value(QStringLiteral("date")).toString() == date)
            return v.toObject();
    return {};
}

// The point (cx, cy) inside the cell of `month`/`day`, measured from the cell's grid corner.
QPoint inCell(QSize size, const DisplaySettings& settings, int month, int day, int cx, int cy)
{
    const YearGrid grid(size, settings);
    return {grid.columnX(month - 1) + cx, grid.rowY(day - 1) + cy};
}

} // namespace

class TestCliYear : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void dumpGivesEveryStoredFieldByName();
    void dumpAndReadCommandsChangeNothing_data();
    void dumpAndReadCommandsChangeNothing();
    void damagedYearIsRefusedInOneLine_data();
    void damagedYearIsRefusedInOneLine();

    void renderGivesTheYearWindowsPixels_data();
    void renderGivesTheYearWindowsPixels();
    void renderWritesPdfAndSvg_data();
    void renderWritesPdfAndSvg();

    void statusTextIsTheWindowsText_data();
    void statusTextIsTheWindowsText();
    void statusInfoTurnedOffPrintsNothing();

    void badCommandLinesAreOneLineAndStatus2_data();
    void badCommandLinesAreOneLineAndStatus2();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString dir() const { return m_dir->path(); }
};

void TestCliYear::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    writeFolder(dir(), richYear(kYear), everyYearDays(kYear));
}

// Why: dump is how a user (or a script) reads the data without the planner; every field must be there
// under its stored name, with texts decoded as the planner shows them.
void TestCliYear::dumpGivesEveryStoredFieldByName()
{
    const Run r =
        runInProcess({QStringLiteral("--dir"), dir(), QStringLiteral("dump"), QString::number(kYear)});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QString());
    QJsonParseError error;
    const QJsonObject dump = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    QCOMPARE(dump.value("year").toInt(), kYear);
    const QJsonObject s = dump.value("settings").toObject();
    QCOMPARE(s.value("m_crSunday").toString(), QStringLiteral("#FFC8C8"));
    QCOMPARE(s.value("m_crYear").toString(), QStringLiteral("#0000FF"));
    QCOMPARE(s.value("m_nMargin").toInt(), 15);
    QCOMPARE(s.value("m_lfYear").toObject().value("faceName").toString(), QStringLiteral("Arial"));
    QCOMPARE(s.value("m_lfYear").toObject().value("weight").toInt(), 700);
    QCOMPARE(s.value("m_stSelected").toString(), QStringLiteral("2026-03-15T00:00:00"));

    const QJsonArray projects = dump.value("projects").toArray();
    QCOMPARE(projects.size(), 14);
    QCOMPARE(projects.at(0).toObject().value("name").toString(), QStringLiteral("Café"));
    QCOMPARE(projects.at(1).toObject().value("start").toString(), QStringLiteral("2026-01-10T09:00:00"));
    QCOMPARE(projects.at(12).toObject().value("start").toString(), QStringLiteral("1850-01-01T00:00:00"));
    QCOMPARE(projects.at(0).toObject().value("longLine").toBool(), true);

    const QJsonObject july19 = dayEntry(dump, "2026-07-19");
    QCOMPARE(july19.value("memo").toString(), QStringLiteral("Café au lait\r\nwith crème"));
    const QJsonObject jan6 = dayEntry(dump, "2026-01-06").value("alarm").toObject();
    QCOMPARE(jan6.value("when").toString(), QStringLiteral("2026-01-06T14:05:00"));
    QCOMPARE(jan6.value("on").toBool(), true);
    QCOMPARE(jan6.value("fired").toBool(), false);
    QCOMPARE(jan6.value("text").toString(), QStringLiteral("Call back"));
    QCOMPARE(dayEntry(dump, "2026-02-07").value("alarm").toObject().value("on").toBool(), false);
    // Every-year red days are merged as the planner shows the year.
    const QJsonObject newYear = dayEntry(dump, "2026-01-01").value("redDay").toObject();
    QCOMPARE(newYear.value("text").toString(), QStringLiteral("New Year"));
    QCOMPARE(newYear.value("everyYear").toBool(), true);
    QVERIFY(dayEntry(dump, "2026-01-05").value("projects").toArray().contains(0));
    QCOMPARE(dump.value("everyYearRedDays").toArray().size(), 2);
    // A day with nothing is left out.
    for (const QJsonValue& v : dump.value("days").toArray())
        QVERIFY(v.toObject().size() >= 2);
}

void TestCliYear::dumpAndReadCommandsChangeNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("dump") << QStringList{"dump", "2026"};
    QTest::newRow("dump of a year without a file") << QStringList{"dump", "1999"};
    QTest::newRow("status") << QStringList{"status", "2026", "--size", "800x600", "--at", "100,100"};
    QTest::newRow("export") << QStringList{"export-ics", "2026"};
    QTest::newRow("check") << QStringList{"check"};
}

// Why: looking must never change the folder a running planner works on, nor create one.
void TestCliYear::dumpAndReadCommandsChangeNothing()
{
    QFETCH(QStringList, args);
    const QStringList before = folderEntries(dir() + "/YEARS");
    const QByteArray yearBefore = fileBytes(dir() + "/YEARS/2026.year");
    QCOMPARE(runInProcess(QStringList{"--dir", dir()} + args).status, 0);
    QCOMPARE(folderEntries(dir() + "/YEARS"), before);
    QCOMPARE(fileBytes(dir() + "/YEARS/2026.year"), yearBefore);

    QTemporaryDir empty;
    runInProcess(QStringList{"--dir", empty.path()} + args);
    QVERIFY(!QFileInfo::exists(empty.path() + "/YEARS"));
}

void TestCliYear::damagedYearIsRefusedInOneLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("dump") << QStringList{"dump", "2026"};
    QTest::newRow("render") << QStringList{"render", "2026", "-o", "out.png"};
    QTest::newRow("status") << QStringList{"status", "2026", "--size", "800x600", "--at", "1,1"};
    QTest::newRow("export") << QStringList{"export-ics", "2026"};
}

// Why: a command over a damaged file would show or pass on a part of the year as if it were all of it.
void TestCliYear::damagedYearIsRefusedInOneLine()
{
    QFETCH(QStringList, args);
    QFile f(dir() + "/YEARS/2026.year");
    QVERIFY(f.resize(3000));
    const Run r = runInProcess(QStringList{"--dir", dir()} + args);
    QCOMPARE(r.status, CliRunner::kFailed);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY2(r.err.contains("2026.year") && r.err.contains("at byte"), qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(dir() + "/YEARS/2026.year.damaged"));
    QVERIFY(!QFileInfo::exists("out.png"));
}

void TestCliYear::renderGivesTheYearWindowsPixels_data()
{
    QTest::addColumn<QSize>("size");
    // Column width cw = (W - 30) / 12 and row height rh = (H - 65) / 31 cross the painting thresholds:
    QTest::newRow("cw 11.7: fills only") << QSize(170, 400);
    QTest::newRow("cw 14.2: one-letter months") << QSize(200, 400);
    QTest::newRow("cw 16.7, rh 7.6: no day numbers") << QSize(230, 300);
    QTest::newRow("cw 18.3, rh 11.5: day numbers, no projects") << QSize(250, 420);
    QTest::newRow("cw 22.5: projects and marks") << QSize(300, 420);
    QTest::newRow("default 1200x800") << QSize(1200, 800);
    QTest::newRow("1920x1080") << QSize(1920, 1080);
}

// Why: render is promised to give the year exactly as the year window paints it; the window's own paint
// (with the registry's every-year merge and the view's fonts) is the reference.
void TestCliYear::renderGivesTheYearWindowsPixels()
{
    QFETCH(QSize, size);
    const QString png = dir() + "/year.png";
    const QString sizeArg = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    const Run r = runInProcess({"--dir", dir(), "render", "2026", "-o", png, "--size", sizeArg});
    QCOMPARE(r.status, 0);
    const QImage rendered = QImage(png).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(rendered.size(), size);

    DataStore store;
    QVERIFY(store.CaptureWorkDir(dir()).ok());
    DisplaySettings defaults{};
    QVERIFY(store.loadDefaults(defaults).ok());
    YearRegistry registry(store, defaults);
    // The window selects today; a clock standing on the stored selected day makes it the same.
    ManualClock clock(Calendar::makeDate(kYear, 3, 15));
    CTolvaView view(registry, clock);
    view.OnInitialUpdate();
    QImage window(size, QImage::Format_RGB32);
    {
        QPainter painter(&window);
        painter.fillRect(window.rect(), Qt::white);
        view.paintYear(painter, size);
    }
    QVERIFY(rendered == window);
}

void TestCliYear::renderWritesPdfAndSvg_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("pdf") << "year.pdf" << QByteArray("%PDF-");
    QTest::newRow("svg") << "year.SVG" << QByteArray("<?xml");
}

// Why: the vector formats are for printing and sharing; one page, the year's title, text kept as text.
void TestCliYear::renderWritesPdfAndSvg()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, start);
    const QString path = dir() + "/" + name;
    QCOMPARE(runInProcess({"--dir", dir(), "render", "2026", "-o", path}).status, 0);
    const QByteArray bytes = fileBytes(path);
    QVERIFY(bytes.startsWith(start));
    if (start == "%PDF-") {
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page "), 1);
        QVERIFY(bytes.contains("/MediaBox [0 0 900.000000 600.000000]"));
    } else {
        QVERIFY(bytes.contains("width=\"1200\"") || bytes.contains("viewBox=\"0 0 1200 800\""));
        QVERIFY(bytes.contains(">2026<") || bytes.contains("2026</"));
    }
}

void TestCliYear::statusTextIsTheWindowsText_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QPoint>("inCell");
    QTest::addColumn<QString>("expected");
    QTest::newRow("memo marker") << 1 << 3 << QPoint(2, 2)
                                 << " Saturday, January 03, 2026 ,   Memo = Dentist";
    QTest::newRow("alarm marker")
        << 1 << 6 << QPoint(2, 6)
        << " Tuesday, January 06, 2026 ,   Alarm (at 14:05, Jan 06 2026) = \"Call back\"";
    QTest::newRow("red day number") << 12 << 25 << QPoint(8, 5)
                                    << " Friday, December 25, 2026 ,   Red day = Christmas";
    QTest::newRow("project slot 0") << 1 << 5 << QPoint(16, 15)
                                    << " Monday, January 05, 2026 ,   Project = Café";
    QTest::newRow("plain day") << 6 << 30 << QPoint(14, 15) << " Tuesday, June 30, 2026 ";
    QTest::newRow("30 February clears") << 2 << 30 << QPoint(40, 15) << "";
}

// Why: status answers "what would the window say here", so it must be the window's text, char for char.
void TestCliYear::statusTextIsTheWindowsText()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QPoint, inCell);
    QFETCH(QString, expected);
    const QSize size(1200, 800);
    YearReader reader(dir());
    QVERIFY(reader.read(kYear));
    const QPoint at = ::inCell(size, reader.viewSettings(), month, day, inCell.x(), inCell.y());
    const Run r = runInProcess({"--dir", dir(), "status", "2026", "--size", "1200x800", "--at",
                                QStringLiteral("%1,%2").arg(at.x()).arg(at.y())});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, expected + "\n");
    QCOMPARE(r.out, *g_pYearPainter->StatusText(size, reader.viewSettings(), reader.year(), at) + "\n");
}

// Why: with the status information off the window leaves its pane alone; the command prints no text.
void TestCliYear::statusInfoTurnedOffPrintsNothing()
{
    YearData year = richYear(kYear);
    year.m_settings.m_bShowStatusInfo = 0;
    writeFolder(dir(), year, everyYearDays(kYear));
    const Run r = runInProcess({"--dir", dir(), "status", "2026", "--size", "1200x800", "--at", "100,100"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QString());
    QVERIFY(r.err.contains("off"));
}

void TestCliYear::badCommandLinesAreOneLineAndStatus2_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown command") << QStringList{"paint", "2026"};
    QTest::newRow("year 0") << QStringList{"dump", "0"};
    QTest::newRow("year 10000") << QStringList{"dump", "10000"};
    QTest::newRow("no year") << QStringList{"dump"};
    QTest::newRow("render without -o") << QStringList{"render", "2026"};
    QTest::newRow("render to .gif") << QStringList{"render", "2026", "-o", "x.gif"};
    QTest::newRow("huge size") << QStringList{"render", "2026", "-o", "x.png", "--size", "100000x100000"};
    QTest::newRow("status without --at") << QStringList{"status", "2026", "--size", "800x600"};
    QTest::newRow("unknown option") << QStringList{"check", "--fast"};
}

// Why: a script must tell a wrong command line from a failed command, and a person needs one clear line.
void TestCliYear::badCommandLinesAreOneLineAndStatus2()
{
    QFETCH(QStringList, args);
    const Run r = runInProcess(QStringList{"--dir", dir()} + args);
    QCOMPARE(r.status, CliRunner::kUsage);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(r.err.startsWith("tolva-cli: "));

    for (const char* command : {"dump", "render", "status", "export-ics", "import-ics", "check"}) {
        const Run help = runInProcess({command, "--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: tolva-cli [--dir DIR] ") + command));
    }
}

QTEST_MAIN(TestCliYear)
#include "tst_cli_year.moc"
