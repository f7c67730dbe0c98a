#include "YearFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace YearFixtures;

namespace {

// Everything but the moment the defaults were built.
bool sameApartFromSelectedDay(const DisplaySettings& a, const DisplaySettings& b)
{
    return std::memcmp(&a, &b, offsetof(DisplaySettings, m_stSelected)) == 0 &&
           std::memcmp(&a.m_pMemos, &b.m_pMemos, sizeof a - offsetof(DisplaySettings, m_pMemos)) == 0;
}

std::int64_t secondsBetween(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return std::abs(Calendar::serialSeconds(a) - Calendar::serialSeconds(b));
}

} // namespace

class TestDefaultsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // First run: no file, the built-in defaults, written at exit as 1542 bytes starting 01 00.
    void firstRunUsesAndWritesTheBuiltInDefaults();
    // The defaults file is replaced from outside to change the look of new years: it must be honoured.
    void storedDefaultsLoadBackExactly();
    // An unreadable defaults file must not stop the program from starting.
    void damagedFileFallsBackToBuiltInDefaults_data();
    void damagedFileFallsBackToBuiltInDefaults();
    // Other writers may store more records than they announce or announce more than they store: the
    // first whole record is what counts.
    void firstWholeRecordIsTheDefaults();
    // The folder of the defaults gone at exit: reported, never silent.
    void failedSaveIsReported();

private:
    std::optional<QTemporaryDir> m_dir;
    DataStore m_store;
};

void TestDefaultsFile::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    QVERIFY(m_store.CaptureWorkDir(m_dir->path()).ok());
}

void TestDefaultsFile::firstRunUsesAndWritesTheBuiltInDefaults()
{
    DisplaySettings defaults{};
    const StoreResult loaded = m_store.loadDefaults(defaults);
    QVERIFY(loaded.ok());
    QVERIFY(loaded.message.isEmpty());
    const SYSTEMTIME now = Calendar::nowUtc();
    QVERIFY(sameApartFromSelectedDay(defaults, DisplaySettings::builtInDefaults(now)));
    QVERIFY(secondsBetween(defaults.m_stSelected, now) < 60);

    QVERIFY(m_store.saveDefaults(defaults).ok());
    const QByteArray file = readFile(m_store.defaultsPath());
    QCOMPARE(file.size(), qsizetype(1542));
    QCOMPARE(file.left(2).toHex(), QByteArray("0100"));
    QVERIFY(file.mid(2) == bytesOf(defaults));
    QCOMPARE(file.mid(2 + 324, 32).toHex(), (QByteArray("Arial") + QByteArray(27, '\0')).toHex());
}

void TestDefaultsFile::storedDefaultsLoadBackExactly()
{
    DisplaySettings custom = defaultsAt(2001);
    custom.m_nMargin = 40;
    custom.m_crSunday = makeColorRef(1, 2, 3);
    std::memcpy(custom.m_lfDay.lfFaceName, "DejaVu Sans\0", 12);
    custom.m_reserved476[7] = 0x5A; // reserved bytes travel with the record
    QVERIFY(m_store.saveDefaults(custom).ok());

    DisplaySettings loaded{};
    QVERIFY(m_store.loadDefaults(loaded).ok());
    QVERIFY(sameBytes(loaded, custom));
}

void TestDefaultsFile::damagedFileFallsBackToBuiltInDefaults_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = DefaultsFileCodec::encode(defaultsAt(2001));
    QTest::newRow("zero length") << QByteArray();
    QTest::newRow("one byte") << QByteArray("\x01", 1);
    QTest::newRow("count 0") << QByteArray::fromHex("0000") + good.mid(2);
    QTest::newRow("record cut short") << good.left(100);
    QTest::newRow("hostile count, nothing else") << QByteArray::fromHex("ffffffffffff");
}

void TestDefaultsFile::damagedFileFallsBackToBuiltInDefaults()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_store.defaultsPath();
    QVERIFY(writeFile(path, bytes));

    DisplaySettings defaults = defaultsAt(1990);
    const StoreResult r = m_store.loadDefaults(defaults);
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QVERIFY2(r.message.contains(path) && r.message.contains("built-in"), qPrintable(r.message));
    QVERIFY(sameApartFromSelectedDay(defaults, DisplaySettings::builtInDefaults(Calendar::nowUtc())));
    if (bytes.isEmpty()) {
        QVERIFY(r.keptAs.isEmpty()); // nothing to keep
    } else {
        QCOMPARE(r.keptAs, path + ".damaged");
        QVERIFY(readFile(r.keptAs) == bytes);
    }
    // The exit save then repairs the file.
    QVERIFY(m_store.saveDefaults(defaults).ok());
    QCOMPARE(QFileInfo(path).size(), qsizetype(1542));
}

void TestDefaultsFile::firstWholeRecordIsTheDefaults()
{
    DisplaySettings first = defaultsAt(2001);
    first.m_nTop = 77;
    const QByteArray record = bytesOf(first);
    for (const QByteArray& file : {QByteArray::fromHex("0300") + record,
                                   QByteArray::fromHex("0200") + record + record + "trailing bytes"}) {
        QVERIFY(writeFile(m_store.defaultsPath(), file));
        DisplaySettings loaded{};
        QVERIFY(m_store.loadDefaults(loaded).ok());
        QVERIFY(sameBytes(loaded, first));
    }
}

void TestDefaultsFile::failedSaveIsReported()
{
    QVERIFY(QDir(m_store.yearsDir()).removeRecursively());
    DisplaySettings defaults = defaultsAt(2001);
    const StoreResult r = m_store.saveDefaults(defaults);
    QCOMPARE(r.status, StoreResult::Status::WriteFailed);
    QCOMPARE(r.path, m_store.defaultsPath());
    QVERIFY(r.message.contains(m_store.defaultsPath()) && !r.reason.isEmpty());
}

QTEST_APPLESS_MAIN(TestDefaultsFile)
#include "tst_defaultsfile.moc"
