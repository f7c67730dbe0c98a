#include "YearFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace YearFixtures;

namespace {

enum class Kind { Year, Defaults, EveryYear };

// Every file under `dir` with its size and first bytes: what an inspection must leave as it was.
std::map<QString, QByteArray> snapshot(const QString& dir)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        QFile f(it.filePath());
        const QByteArray head = f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray("-");
        files[it.filePath()] = QByteArray::number(it.fileInfo().size()) + ":" + head;
    }
    return files;
}

QString fileName(Kind kind)
{
    switch (kind) {
    case Kind::Year:
        return "2011.year";
    case Kind::Defaults:
        return "YearDefaults.year";
    default:
        return "ForeverRedDays.year";
    }
}

// The loaded content, comparable between an inspection and a load (built-in defaults apart from their
// moment).
QByteArray contentOf(Kind kind, const YearData& year, const DisplaySettings& defaults,
                     const ForeverRedDays& f)
{
    switch (kind) {
    case Kind::Year:
        return YearFileCodec::encode(year);
    case Kind::Defaults:
        return bytesOf(defaults).left(offsetof(DisplaySettings, m_stSelected));
    default:
        return ForeverRedDaysFileCodec::encode(f);
    }
}

RedDayRecord everyYearRecord(int month, int day)
{
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    r.m_stDate = Calendar::makeDate(2010, month, day);
    return r;
}

} // namespace

class TestInspectFiles : public QObject
{
    Q_OBJECT

private slots:
    // `tolva-cli check` and `dump` look at a folder that may belong to a running planner: an inspection
    // reads what a load reads and reports what a load reports, but creates, copies, moves and writes
    // nothing, and needs no YEARS folder.
    void inspectionReportsAsALoadAndChangesNothing_data();
    void inspectionReportsAsALoadAndChangesNothing();
};

void TestInspectFiles::inspectionReportsAsALoadAndChangesNothing_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("sparseSize"); // > 0: the file is grown to this size with a hole
    QTest::addColumn<StoreResult::Status>("status");

    using S = StoreResult::Status;
    const QByteArray year = YearFileCodec::encode(richYear(2011));
    const QByteArray defaults = DefaultsFileCodec::encode(defaultsAt(2001));
    ForeverRedDays f;
    f.m_foreverRedDays.append(everyYearRecord(1, 1));
    f.m_foreverRedTexts.append("New Year");
    f.m_foreverRedDays.append(everyYearRecord(12, 25));
    f.m_foreverRedTexts.append("Christmas");
    const QByteArray everyYear = ForeverRedDaysFileCodec::encode(f);
    ForeverRedDays noDate = f;
    noDate.m_foreverRedDays.append(RedDayRecord{});
    noDate.m_foreverRedTexts.append("month 0");
    const qint64 over = DataStore::kMaxFileSize + 1;

    QTest::newRow("year missing") << Kind::Year << false << QByteArray() << qint64(0) << S::Ok;
    QTest::newRow("year empty") << Kind::Year << true << QByteArray() << qint64(0) << S::Ok;
    QTest::newRow("year sound") << Kind::Year << true << year << qint64(0) << S::Ok;
    QTest::newRow("year cut") << Kind::Year << true << year.left(5000) << qint64(0) << S::Damaged;
    QTest::newRow("year settings count 0")
        << Kind::Year << true << QByteArray::fromHex("0000") + year.mid(2) << qint64(0) << S::Damaged;
    QTest::newRow("year oversized") << Kind::Year << true << year << over << S::Damaged;
    QTest::newRow("defaults missing") << Kind::Defaults << false << QByteArray() << qint64(0) << S::Ok;
    QTest::newRow("defaults sound") << Kind::Defaults << true << defaults << qint64(0) << S::Ok;
    QTest::newRow("defaults cut") << Kind::Defaults << true << defaults.left(100) << qint64(0) << S::Damaged;
    QTest::newRow("defaults oversized") << Kind::Defaults << true << defaults << over << S::Damaged;
    QTest::newRow("every-year missing") << Kind::EveryYear << false << QByteArray() << qint64(0) << S::Ok;
    QTest::newRow("every-year sound") << Kind::EveryYear << true << everyYear << qint64(0) << S::Ok;
    QTest::newRow("every-year cut") << Kind::EveryYear << true << everyYear.left(everyYear.size() - 3)
                                    << qint64(0) << S::Damaged;
    QTest::newRow("every-year entry without a date")
        << Kind::EveryYear << true << ForeverRedDaysFileCodec::encode(noDate) << qint64(0) << S::Damaged;
}

void TestInspectFiles::inspectionReportsAsALoadAndChangesNothing()
{
    QFETCH(Kind, kind);
    QFETCH(bool, present);
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, sparseSize);
    QFETCH(StoreResult::Status, status);

    // The inspected file lies in a plain folder: no YEARS, nothing else.
    QTemporaryDir plain;
    const QString path = plain.path() + "/" + fileName(kind);
    // The same bytes in a planner's folder, for the load to compare with.
    QTemporaryDir work;
    DataStore store;
    QVERIFY(store.CaptureWorkDir(work.path()).ok());
    const QString loadPath = store.yearsDir() + "/" + fileName(kind);
    if (present) {
        for (const QString& p : {path, loadPath}) {
            QVERIFY(writeFile(p, bytes));
            if (sparseSize > 0)
                QVERIFY(QFile::resize(p, sparseSize));
        }
    }
    const auto before = snapshot(plain.path());

    const DisplaySettings yearDefaults = defaultsAt(2010);
    YearData inspectedYear = richYear(2015);
    inspectedYear.m_settings.m_stSelected = Calendar::makeDate(2011, 3, 4);
    YearData loadedYear = inspectedYear;
    DisplaySettings inspectedDefaults = defaultsAt(1999);
    DisplaySettings loadedDefaults = inspectedDefaults;
    ForeverRedDays inspectedEveryYear;
    ForeverRedDays loadedEveryYear;
    StoreResult inspected;
    StoreResult loaded;
    switch (kind) {
    case Kind::Year:
        inspected = DataStore::inspectYearFile(path, inspectedYear, yearDefaults);
        loaded = store.loadYear(loadedYear, yearDefaults);
        break;
    case Kind::Defaults:
        inspected = DataStore::inspectDefaultsFile(path, inspectedDefaults);
        loaded = store.loadDefaults(loadedDefaults);
        break;
    case Kind::EveryYear:
        inspected = DataStore::inspectForeverRedDaysFile(path, inspectedEveryYear);
        loaded = store.loadForeverRedDays(loadedEveryYear);
        break;
    }

    QVERIFY(snapshot(plain.path()) == before);
    QVERIFY(!QFileInfo::exists(plain.path() + "/YEARS"));
    QCOMPARE(inspected.status, status);
    QCOMPARE(loaded.status, status);
    QCOMPARE(inspected.path, path);
    QCOMPARE(inspected.reason, loaded.reason);
    QVERIFY(inspected.keptAs.isEmpty());
    QCOMPARE(contentOf(kind, inspectedYear, inspectedDefaults, inspectedEveryYear).toHex(),
             contentOf(kind, loadedYear, loadedDefaults, loadedEveryYear).toHex());
    QCOMPARE(inspectedYear.year(), 2011);
    if (status != StoreResult::Status::Ok) {
        QVERIFY2(inspected.message.contains(path) && inspected.message.contains(inspected.reason),
                 qPrintable(inspected.message));
        QVERIFY(!loaded.keptAs.isEmpty());
        if (sparseSize == 0)
            QVERIFY2(inspected.reason.startsWith("at byte ") || inspected.reason.contains("entries"),
                     qPrintable(inspected.reason));
    }
}

QTEST_APPLESS_MAIN(TestInspectFiles)
#include "tst_inspectfiles.moc"
