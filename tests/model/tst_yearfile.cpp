#include "ArchiveReader.h"
#include "YearFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <csignal>
#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace YearFixtures;

namespace {

// Offsets of items 1..9 of a year's file and its end, as the writer lays them out.
std::array<qsizetype, 10> itemOffsets(const YearData& y)
{
    ArchiveWriter out;
    std::array<qsizetype, 10> at{};
    at[0] = 0;
    out.writeCount(1);
    out.writeRaw(&y.m_settings, sizeof y.m_settings);
    at[1] = out.data().size();
    out.writeRecordList(y.m_dayMarks);
    at[2] = out.data().size();
    out.writeRecordList(y.m_redDays);
    at[3] = out.data().size();
    out.writeRecordList(y.m_projects);
    at[4] = out.data().size();
    out.writeRecordList(y.m_alarms);
    at[5] = out.data().size();
    out.writeStringList(y.m_names);
    at[6] = out.data().size();
    out.writeStringList(y.m_memos);
    at[7] = out.data().size();
    out.writeStringList(y.m_alarmTexts);
    at[8] = out.data().size();
    out.writeStringList(y.m_redTexts);
    at[9] = out.data().size();
    return at;
}

// Whether list k (items 2..9 of the file, numbered 0..7 here) of `a` equals that of `b`.
bool sameList(const YearData& a, const YearData& b, int k)
{
    switch (k) {
    case 0:
        return a.m_dayMarks == b.m_dayMarks;
    case 1:
        return a.m_redDays == b.m_redDays;
    case 2:
        return a.m_projects == b.m_projects;
    case 3:
        return a.m_alarms == b.m_alarms;
    case 4:
        return a.m_names == b.m_names;
    case 5:
        return a.m_memos == b.m_memos;
    case 6:
        return a.m_alarmTexts == b.m_alarmTexts;
    default:
        return a.m_redTexts == b.m_redTexts;
    }
}

QByteArray replaced(QByteArray bytes, qsizetype at, qsizetype length, const QByteArray& with)
{
    return bytes.replace(at, length, with);
}

// The view sets the year to show, then loads.
YearData loadYear(const DataStore& store, int year, const DisplaySettings& defaults,
                  StoreResult* result = nullptr)
{
    YearData y;
    y.reset();
    y.m_settings.m_stSelected = Calendar::makeDate(year, 3, 4);
    const StoreResult r = store.loadYear(y, defaults);
    if (result)
        *result = r;
    return y;
}

} // namespace

class TestYearFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // The layout every old file has: a year without projects or texts is exactly 62608 bytes.
    void emptyYearIs62608BytesInItemOrder();
    // A year without a file starts from the defaults, and its first save stores them with the year.
    void missingYearSavesTheDefaultsItStartedFrom();
    // Years are found by name: the decimal year without padding.
    void fileIsNamedAfterTheYearWithoutLeadingZeros_data();
    void fileIsNamedAfterTheYearWithoutLeadingZeros();
    // Everything the user entered comes back byte for byte, texts in whatever encoding they were stored.
    void savedYearLoadsBackUnchanged();
    // The link slots are memory addresses on the old platform: stored as zero, never used when read.
    void linkSlotsAreStoredAsZeroAndIgnoredWhenRead();
    // An interrupted save on the old platform leaves an empty file; all-zero settings would paint black.
    void missingOrEmptyFileStartsFromTheDefaults_data();
    void missingOrEmptyFileStartsFromTheDefaults();
    // Files from other writers may hold extra settings records or uneven lists: loaded as stored.
    void extraSettingsAndUnevenListsLoadAsStored();
    // A damaged file yields what can be read; the settings fall back to the defaults when unreadable.
    void damagedFileLoadsItsReadablePart_data();
    void damagedFileLoadsItsReadablePart();
    // A truncated per-day list keeps its 370 entries, so every day of the year can still be drawn.
    void perDayListCutShortKeepsAllDays();
    // The damaged bytes must outlive the save that replaces the year file.
    void damagedFileIsKeptBeforeAnySaveCanReplaceIt();
    // An existing file that cannot be read is about to be replaced by the next save: say so.
    void unreadableFileIsReported_data();
    void unreadableFileIsReported();
    // A save that cannot happen is reported with the path and the reason, and leaves the old file.
    void failedSaveIsReportedAndLeavesThePreviousFile_data();
    void failedSaveIsReportedAndLeavesThePreviousFile();
    // A write cut short (disk full, file-size limit) must not commit a short file.
    void partialWriteLeavesThePreviousFileWhole();
    // A file no year can fill is not read: it is moved aside whole, sparse as it was, before a save can
    // replace it.
    void oversizedFileIsMovedAsideWhole_data();
    void oversizedFileIsMovedAsideWhole();
    // A save must not write a file that no load would read back.
    void oversizedYearIsNotSaved();
    // Text counts no year has are damage: they cost nothing and the list keeps its reset state.
    void textCountsBeyondAnyYearAreDamage_data();
    void textCountsBeyondAnyYearAreDamage();
    // The fixed names with their flag do what the named wrappers do.
    void loadSaveYearIsLoadYearAndSaveYear();
    // The data folder is made at start-up; a folder that cannot be made is reported, not fatal.
    void captureWorkDirCreatesYears_data();
    void captureWorkDirCreatesYears();

private:
    std::optional<QTemporaryDir> m_dir; // a fresh working directory for every test
    DataStore m_store;
    DisplaySettings m_defaults{};
};

void TestYearFile::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    QVERIFY(m_store.CaptureWorkDir(m_dir->path()).ok());
    m_defaults = defaultsAt(2010);
}

void TestYearFile::emptyYearIs62608BytesInItemOrder()
{
    YearData y = emptyYear(2011);
    y.m_settings.m_pMemos = 0x12345678;
    QVERIFY(m_store.saveYear(y).ok());
    const QByteArray file = readFile(m_store.yearPath(2011));
    QCOMPARE(file.size(), qsizetype(62608));

    DisplaySettings stored = y.m_settings;
    stored.clearLinkSlots();
    QByteArray expected = QByteArray::fromHex("0100") + bytesOf(stored);
    for (const qsizetype recordSize : {120, 24})
        expected += QByteArray::fromHex("7201") + QByteArray(370 * recordSize, '\0');
    expected += QByteArray::fromHex("0000") + QByteArray::fromHex("7201") + QByteArray(370 * 18, '\0');
    expected += QByteArray::fromHex("0000");
    for (int list = 0; list < 3; ++list)
        expected += QByteArray::fromHex("7201") + QByteArray(370, '\0');
    QCOMPARE(file.size(), expected.size());
    QVERIFY(file == expected);
}

void TestYearFile::missingYearSavesTheDefaultsItStartedFrom()
{
    StoreResult r;
    YearData y = loadYear(m_store, 2011, m_defaults, &r);
    QVERIFY(r.ok());
    QCOMPARE(y.m_settings.m_stSelected, Calendar::makeDate(2011, 3, 4));
    y.m_settings.m_bShowSundays = 1; // the view forces the five toggles on after every load
    QVERIFY(m_store.saveYear(y).ok());

    const QByteArray file = readFile(m_store.yearPath(2011));
    DisplaySettings expected = m_defaults;
    expected.m_bShowSundays = 1;
    expected.m_stSelected = Calendar::makeDate(2011, 3, 4);
    QCOMPARE(file.left(2).toHex(), QByteArray("0100"));
    QVERIFY(file.mid(2, 1540) == bytesOf(expected));
    QCOMPARE(file.mid(1542, 2).toHex(), QByteArray("7201"));
    QVERIFY(file.mid(1544, 370 * 120) == QByteArray(370 * 120, '\0'));
}

void TestYearFile::fileIsNamedAfterTheYearWithoutLeadingZeros_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("name");
    QTest::newRow("999") << 999 << "999.year";
    QTest::newRow("2011") << 2011 << "2011.year";
    QTest::newRow("1") << 1 << "1.year";
}

void TestYearFile::fileIsNamedAfterTheYearWithoutLeadingZeros()
{
    QFETCH(int, year);
    QFETCH(QString, name);
    QCOMPARE(m_store.yearPath(year), m_dir->path() + "/YEARS/" + name);
    YearData y = richYear(year);
    QVERIFY(m_store.saveYear(y).ok());
    QCOMPARE(QDir(m_dir->path() + "/YEARS").entryList(QDir::Files), QStringList{name});
}

void TestYearFile::savedYearLoadsBackUnchanged()
{
    YearData saved = richYear(2012, 7);
    saved.m_settings.m_stSelected = Calendar::makeDate(2012, 12, 31);
    QVERIFY(m_store.saveYear(saved).ok());

    StoreResult r;
    const YearData loaded = loadYear(m_store, 2012, m_defaults, &r);
    QVERIFY2(r.ok(), qPrintable(r.message));
    // The selected day is the caller's; all else is the file's.
    QCOMPARE(loaded.m_settings.m_stSelected, Calendar::makeDate(2012, 3, 4));
    saved.m_settings.m_stSelected = loaded.m_settings.m_stSelected;
    QVERIFY(sameIgnoringLinks(loaded, saved));
    QCOMPARE(loaded.m_memos.at(6), QByteArray("Memo \xE9t\xE9 6"));
    QCOMPARE(loaded.m_alarmTexts.at(6), QStringLiteral("Alarm \U0001F514 6").toUtf8());
}

void TestYearFile::linkSlotsAreStoredAsZeroAndIgnoredWhenRead()
{
    YearData y = emptyYear(2011);
    for (std::uint32_t* slot : {&y.m_settings.m_pGridPen, &y.m_settings.m_pMonthFont, &y.m_settings.m_pMemos,
                                &y.m_settings.m_pAlarms})
        *slot = 0xDEADBEEF;
    QByteArray file = YearFileCodec::encode(y);
    for (const int offset : {48, 52, 56, 60, 1512, 1516, 1520, 1524, 1528, 1532, 1536})
        QCOMPARE(file.mid(2 + offset, 4).toHex(), QByteArray("00000000"));

    // A file of the old platform, with addresses in the slots, loads like any other.
    for (const int offset : {48, 1512, 1536})
        file.replace(2 + offset, 4, QByteArray::fromHex("efbeadde"));
    QVERIFY(writeFile(m_store.yearPath(2011), file));
    StoreResult r;
    const YearData loaded = loadYear(m_store, 2011, m_defaults, &r);
    QVERIFY(r.ok());
    QVERIFY(sameIgnoringLinks(loaded, loadYear(m_store, 2011, m_defaults)));
}

void TestYearFile::missingOrEmptyFileStartsFromTheDefaults_data()
{
    QTest::addColumn<bool>("createEmptyFile");
    QTest::newRow("missing") << false;
    QTest::newRow("zero length") << true;
}

void TestYearFile::missingOrEmptyFileStartsFromTheDefaults()
{
    QFETCH(bool, createEmptyFile);
    if (createEmptyFile)
        QVERIFY(writeFile(m_store.yearPath(2011), QByteArray()));
    StoreResult r;
    const YearData y = loadYear(m_store, 2011, m_defaults, &r);
    QVERIFY(r.ok());
    YearData expected = emptyYear(2011);
    expected.m_settings = m_defaults;
    expected.m_settings.m_stSelected = Calendar::makeDate(2011, 3, 4);
    QVERIFY(y == expected);
    QCOMPARE(y.m_settings.m_crGrid, COLORREF(0x00C8C8C8));
}

void TestYearFile::extraSettingsAndUnevenListsLoadAsStored()
{
    YearData y = richYear(2011, 3);
    y.m_names.setCount(2);
    y.m_memos.setCount(10);
    QByteArray file = YearFileCodec::encode(y);
    DisplaySettings second = defaultsAt(1999);
    second.m_nMargin = 99;
    file.replace(0, 2 + 1540, QByteArray::fromHex("0200") + file.mid(2, 1540) + bytesOf(second));
    QVERIFY(writeFile(m_store.yearPath(2011), file));

    StoreResult r;
    YearData loaded = loadYear(m_store, 2011, m_defaults, &r);
    QVERIFY2(r.ok(), qPrintable(r.message));
    QCOMPARE(loaded.m_settings.m_nMargin, 15);
    QCOMPARE(loaded.m_projects.count(), qsizetype(3));
    QCOMPARE(loaded.m_names.count(), qsizetype(2));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, loaded.m_names.at(2));
    QCOMPARE(loaded.m_memos.count(), qsizetype(10));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, loaded.m_memos.at(11));

    // The next save writes one settings record, so the file shrinks back by one record.
    QVERIFY(m_store.saveYear(loaded).ok());
    QCOMPARE(QFileInfo(m_store.yearPath(2011)).size(), file.size() - 1540);
}

void TestYearFile::damagedFileLoadsItsReadablePart_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("settingsFromFile");
    QTest::addColumn<int>("listsRead"); // of the eight lists after the settings, in file order

    const YearData y = richYear(2011, 3);
    const QByteArray good = YearFileCodec::encode(y);
    const auto at = itemOffsets(y);
    const QByteArray hostileCount = QByteArray::fromHex("ffffffffffff");

    QTest::newRow("settings count 0") << replaced(good, 0, 2, QByteArray::fromHex("0000")) << false << 0;
    QTest::newRow("cut inside the settings") << good.left(700) << false << 0;
    QTest::newRow("cut after the settings") << good.left(at[1]) << true << 0;
    QTest::newRow("cut inside the day marks") << good.left(at[1] + 2 + 1207) << true << 0;
    QTest::newRow("cut inside the projects") << good.left(at[3] + 2 + 50) << true << 2;
    QTest::newRow("cut inside the memos") << good.left(at[6] + 300) << true << 5;
    QTest::newRow("cut before the red texts") << good.left(at[8]) << true << 7;
    QTest::newRow("cut in the last byte") << good.left(at[9] - 1) << true << 7;
    QTest::newRow("hostile day-mark count") << replaced(good, at[1], 2, hostileCount) << true << 0;
    QTest::newRow("hostile project count")
        << replaced(good, at[3], 2, QByteArray::fromHex("feff")) << true << 2;
    QTest::newRow("hostile alarm-text length")
        << replaced(good, at[7] + 2, 1, QByteArray::fromHex("ff") + hostileCount) << true << 6;
    QTest::newRow("reserved name prefix")
        << replaced(good, at[5] + 2, 1, QByteArray::fromHex("fffeff")) << true << 4;
}

void TestYearFile::damagedFileLoadsItsReadablePart()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, settingsFromFile);
    QFETCH(int, listsRead);
    const QString path = m_store.yearPath(2011);
    QVERIFY(writeFile(path, bytes));

    StoreResult r;
    const YearData loaded = loadYear(m_store, 2011, m_defaults, &r);
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QCOMPARE(r.path, path);
    QVERIFY2(r.message.contains(path) && r.message.contains("at byte"), qPrintable(r.message));
    QCOMPARE(r.keptAs, path + ".damaged");
    QVERIFY(r.message.contains(r.keptAs));
    QVERIFY(readFile(r.keptAs) == bytes);

    YearData expected = richYear(2011, 3);
    if (!settingsFromFile)
        expected.m_settings = m_defaults;
    const YearData reset = emptyYear(2011);
    QVERIFY(std::memcmp(&loaded.m_settings, &expected.m_settings, offsetof(DisplaySettings, m_stSelected)) ==
            0);
    for (int k = 0; k < 8; ++k) {
        if (k < listsRead)
            QVERIFY2(sameList(loaded, expected, k), qPrintable(QString("list %1 not loaded").arg(k)));
        else if (k > listsRead)
            QVERIFY2(sameList(loaded, reset, k), qPrintable(QString("list %1 not reset").arg(k)));
    }
    for (const qsizetype n : {loaded.m_dayMarks.count(), loaded.m_redDays.count(), loaded.m_alarms.count(),
                              loaded.m_projects.count(), loaded.m_names.count(), loaded.m_memos.count()})
        QVERIFY(n <= bytes.size() + ArchiveReader::kMaxPadBytes);
}

void TestYearFile::perDayListCutShortKeepsAllDays()
{
    const YearData y = richYear(2011, 3);
    const auto at = itemOffsets(y);
    QVERIFY(writeFile(m_store.yearPath(2011), YearFileCodec::encode(y).left(at[2] + 2 + 24 * 100 + 3)));
    StoreResult r;
    const YearData loaded = loadYear(m_store, 2011, m_defaults, &r);
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QCOMPARE(loaded.m_redDays.count(), qsizetype(370));
    QCOMPARE(loaded.m_redDays.at(1).m_bEveryYear, std::uint8_t(1));
    QCOMPARE(loaded.m_redDays.at(369).m_bEveryYear, std::uint8_t(0));
    QCOMPARE(loaded.m_redTexts.count(), qsizetype(370));
}

void TestYearFile::damagedFileIsKeptBeforeAnySaveCanReplaceIt()
{
    const QString path = m_store.yearPath(2011);
    const QByteArray damaged = YearFileCodec::encode(richYear(2011)).left(5000);
    QVERIFY(writeFile(path, damaged));
    QVERIFY(writeFile(path + ".damaged", "an earlier, different copy"));

    StoreResult r;
    YearData y = loadYear(m_store, 2011, m_defaults, &r);
    QCOMPARE(r.keptAs, path + ".damaged-2");
    QVERIFY(m_store.saveYear(y).ok());
    QVERIFY(readFile(path + ".damaged-2") == damaged);
    QCOMPARE(readFile(path + ".damaged"), QByteArray("an earlier, different copy"));

    // The same damaged bytes met again (a second window on that year) reuse their copy.
    QVERIFY(writeFile(path, damaged));
    loadYear(m_store, 2011, m_defaults, &r);
    QCOMPARE(r.keptAs, path + ".damaged-2");
    QCOMPARE(QDir(m_store.yearsDir()).entryList(QDir::Files).size(), 3);
}

void TestYearFile::unreadableFileIsReported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("a folder") << "folder" << false;
    QTest::newRow("a FIFO") << "fifo" << false;
    QTest::newRow("a link to a FIFO") << "fifo" << true;
    QTest::newRow("a character device") << "device" << false;
    QTest::newRow("a link to a character device") << "device" << true;
}

// What is no regular file is reported on load and on save alike, and a save leaves it what it was: a
// device or a FIFO turned into a regular file breaks whatever else uses it.
void TestYearFile::unreadableFileIsReported()
{
    QFETCH(QString, kind);
    QFETCH(bool, throughLink);
    const QString path = m_store.yearPath(2011);
    const QString node = throughLink ? m_store.workDir() + "/node" : path;
    const QByteArray nodeName = QFile::encodeName(node);
    if (kind == "folder") {
        QVERIFY(QDir().mkdir(node));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(nodeName.constData(), 0600), 0);
    } else if (::mknod(nodeName.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        // The null device's numbers, made in the test's own folder: no system device is at stake.
        QSKIP("making a device node needs CAP_MKNOD");
    }
    if (throughLink)
        QVERIFY(QFile::link(node, path));
    struct stat before = {};
    QCOMPARE(::stat(nodeName.constData(), &before), 0);

    StoreResult r;
    const YearData y = loadYear(m_store, 2011, m_defaults, &r);
    QCOMPARE(r.status, StoreResult::Status::ReadFailed);
    QVERIFY2(r.message.contains(path) && !r.reason.isEmpty(), qPrintable(r.message));
    QCOMPARE(y.m_settings.m_nTop, 50);

    const StoreResult saved = m_store.saveYear(richYear(2011));
    QCOMPARE(saved.status, StoreResult::Status::WriteFailed);
    QVERIFY2(saved.message.contains(path) && !saved.reason.isEmpty(), qPrintable(saved.message));
    struct stat after = {};
    QCOMPARE(::stat(nodeName.constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(QFileInfo(path).isSymLink(), throughLink);
}

void TestYearFile::failedSaveIsReportedAndLeavesThePreviousFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("YEARS removed") << "removed";
    QTest::newRow("YEARS replaced by a file") << "file";
    QTest::newRow("YEARS read-only") << "read-only";
}

void TestYearFile::failedSaveIsReportedAndLeavesThePreviousFile()
{
    QFETCH(QString, how);
    const QString years = m_store.yearsDir();
    const QString path = m_store.yearPath(2011);
    if (how == "removed") {
        QVERIFY(QDir(years).removeRecursively());
    } else if (how == "file") {
        QVERIFY(QDir(years).removeRecursively());
        QVERIFY(writeFile(years, "not a folder"));
    } else {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        YearData old = emptyYear(2011);
        QVERIFY(m_store.saveYear(old).ok());
        QVERIFY(QFile::setPermissions(years, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray before = readFile(path);

    YearData y = richYear(2011);
    const StoreResult r = m_store.saveYear(y);
    QFile::setPermissions(years, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(r.status, StoreResult::Status::WriteFailed);
    QCOMPARE(r.path, path);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY2(r.message.contains(path) && r.message.contains(r.reason), qPrintable(r.message));
    QVERIFY(readFile(path) == before);
}

void TestYearFile::partialWriteLeavesThePreviousFileWhole()
{
    YearData old = emptyYear(2011);
    QVERIFY(m_store.saveYear(old).ok());
    const QByteArray before = readFile(m_store.yearPath(2011));

    // Only the soft limit is lowered, so it can be raised again; SIGXFSZ would end the process.
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 40000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    YearData y = richYear(2011, 50);
    const StoreResult r = m_store.saveYear(y);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(r.status, StoreResult::Status::WriteFailed);
    QVERIFY2(r.reason.contains("40000"), qPrintable(r.reason));
    QVERIFY(readFile(m_store.yearPath(2011)) == before);
    QCOMPARE(QDir(m_store.yearsDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"2011.year"});
}

void TestYearFile::oversizedFileIsMovedAsideWhole_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("earlierCopy");
    QTest::newRow("one byte over the limit") << DataStore::kMaxFileSize + 1 << false;
    QTest::newRow("2 GiB") << (qint64(2) << 30) << false;
    QTest::newRow("beside an earlier damaged copy") << (qint64(64) << 20) << true;
}

void TestYearFile::oversizedFileIsMovedAsideWhole()
{
    QFETCH(qint64, size);
    QFETCH(bool, earlierCopy);
    const QString path = m_store.yearPath(2011);
    const QByteArray head = YearFileCodec::encode(richYear(2011));
    QVERIFY(writeFile(path, head));
    QVERIFY(QFile::resize(path, size)); // the rest is a hole
    if (earlierCopy)
        QVERIFY(writeFile(path + ".damaged", "an earlier copy"));

    StoreResult r;
    const YearData y = loadYear(m_store, 2011, m_defaults, &r);
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QVERIFY2(r.message.contains(path) && r.reason.contains(QString::number(size)), qPrintable(r.message));
    QCOMPARE(r.keptAs, path + (earlierCopy ? ".damaged-2" : ".damaged"));
    QVERIFY(r.message.contains(r.keptAs));
    QVERIFY(!QFileInfo::exists(path));
    struct stat st = {};
    QCOMPARE(::stat(QFile::encodeName(r.keptAs).constData(), &st), 0);
    QCOMPARE(qint64(st.st_size), size);
    QVERIFY2(qint64(st.st_blocks) * 512 < (qint64(1) << 20), "the moved file must stay sparse");
    QFile kept(r.keptAs);
    QVERIFY(kept.open(QIODevice::ReadOnly) && kept.read(head.size()) == head);
    if (earlierCopy)
        QCOMPARE(readFile(path + ".damaged"), QByteArray("an earlier copy"));

    YearData expected = emptyYear(2011);
    expected.m_settings = m_defaults;
    expected.m_settings.m_stSelected = Calendar::makeDate(2011, 3, 4);
    QVERIFY(y == expected);
}

void TestYearFile::oversizedYearIsNotSaved()
{
    YearData old = richYear(2011);
    QVERIFY(m_store.saveYear(old).ok());
    const QByteArray before = readFile(m_store.yearPath(2011));

    YearData y = richYear(2011);
    y.m_memos.setAt(100, QByteArray(int(DataStore::kMaxFileSize), 'm'));
    const StoreResult r = m_store.saveYear(y);
    QCOMPARE(r.status, StoreResult::Status::WriteFailed);
    QVERIFY2(r.message.contains(m_store.yearPath(2011)) && r.reason.contains("more than"),
             qPrintable(r.message));
    QVERIFY(readFile(m_store.yearPath(2011)) == before);

    y.m_memos.setAt(100, QByteArray(int(DataStore::kMaxFileSize) - 200 * 1024, 'm'));
    QVERIFY(m_store.saveYear(y).ok());
    StoreResult r2;
    const YearData loaded = loadYear(m_store, 2011, m_defaults, &r2);
    QVERIFY2(r2.ok(), qPrintable(r2.message));
    QCOMPARE(loaded.m_memos.at(100).size(), y.m_memos.at(100).size());
}

void TestYearFile::textCountsBeyondAnyYearAreDamage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("damagedList"); // of the eight lists after the settings, in file order
    QTest::addColumn<bool>("damaged");

    const YearData y = richYear(2011, 3);
    const QByteArray good = YearFileCodec::encode(y);
    const auto at = itemOffsets(y);
    const qsizetype limit = YearFileCodec::kMaxTextListCount;
    const auto count = [](qsizetype n) {
        ArchiveWriter out;
        out.writeCount(n);
        return out.data();
    };
    // A claimed count followed by as many empty texts as it claims: sound in form, beyond any year.
    const auto emptyTexts = [&](qsizetype n) { return count(n) + QByteArray(n, '\0'); };
    QTest::newRow("4 billion names over 100000 bytes")
        << good.left(at[5]) + count(0xFFFFFFFF) + QByteArray(100000, '\0') << 4 << true;
    QTest::newRow("names beyond the limit and the projects")
        << good.left(at[5]) + emptyTexts(limit + 1) + good.mid(at[6]) << 4 << true;
    QTest::newRow("memos one beyond the limit")
        << good.left(at[6]) + emptyTexts(limit + 1) + good.mid(at[7]) << 5 << true;
    QTest::newRow("red texts far beyond the limit") << good.left(at[8]) + emptyTexts(1000000) << 7 << true;
    QTest::newRow("memos at the limit")
        << good.left(at[6]) + emptyTexts(limit) + good.mid(at[7]) << 5 << false;

    // The names may be as many as the projects, whatever their number.
    YearData many = richYear(2011, 0);
    for (int p = 0; p < limit + 10; ++p) {
        many.m_projects.append(ProjectRecord{});
        many.m_names.append("p");
    }
    QTest::newRow("names as many as the projects") << YearFileCodec::encode(many) << 4 << false;
}

void TestYearFile::textCountsBeyondAnyYearAreDamage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, damagedList);
    QFETCH(bool, damaged);
    const QString path = m_store.yearPath(2011);
    QVERIFY(writeFile(path, bytes));

    StoreResult r;
    const YearData loaded = loadYear(m_store, 2011, m_defaults, &r);
    if (!damaged) {
        QVERIFY2(r.ok(), qPrintable(r.message));
        return;
    }
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QVERIFY2(r.reason.contains("far more than such a list holds"), qPrintable(r.reason));
    QCOMPARE(r.keptAs, path + ".damaged");
    // The list that claims too much keeps its reset state, and so does everything after it.
    const YearData reset = emptyYear(2011);
    for (int k = damagedList; k < 8; ++k)
        QVERIFY2(sameList(loaded, reset, k), qPrintable(QString("list %1 not reset").arg(k)));
    for (int k = 0; k < damagedList; ++k)
        QVERIFY2(sameList(loaded, richYear(2011, 3), k), qPrintable(QString("list %1 not loaded").arg(k)));
}

void TestYearFile::loadSaveYearIsLoadYearAndSaveYear()
{
    YearData y = richYear(2011);
    QVERIFY(m_store.LoadSaveYear(DataStore::kSave, y, m_defaults).ok());
    const QByteArray viaFlag = readFile(m_store.yearPath(2011));
    QVERIFY(m_store.saveYear(y).ok());
    QVERIFY(readFile(m_store.yearPath(2011)) == viaFlag);

    YearData a = emptyYear(2011);
    YearData b = emptyYear(2011);
    QVERIFY(m_store.LoadSaveYear(DataStore::kLoad, a, m_defaults).ok());
    QVERIFY(m_store.loadYear(b, m_defaults).ok());
    QVERIFY(a == b);
    QVERIFY(sameIgnoringLinks(a, y));
}

void TestYearFile::captureWorkDirCreatesYears_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("ok");
    QTest::newRow("first run") << "" << true;
    QTest::newRow("YEARS exists") << "folder" << true;
    QTest::newRow("YEARS is a file") << "file" << false;
    QTest::newRow("working directory is a file") << "parent file" << false;
}

void TestYearFile::captureWorkDirCreatesYears()
{
    QFETCH(QString, setup);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    QString workDir = dir.path() + "/work";
    QVERIFY(QDir().mkdir(workDir));
    if (setup == "folder")
        QVERIFY(QDir().mkdir(workDir + "/YEARS"));
    else if (setup == "file")
        QVERIFY(writeFile(workDir + "/YEARS", "x"));
    else if (setup == "parent file")
        QVERIFY(writeFile(workDir += "/plain", "x"));

    DataStore store;
    const StoreResult r = store.CaptureWorkDir(workDir);
    QCOMPARE(r.ok(), ok);
    QCOMPARE(store.workDir(), workDir);
    QCOMPARE(store.defaultsPath(), workDir + "/YEARS/YearDefaults.year");
    QCOMPARE(store.foreverRedDaysPath(), workDir + "/YEARS/ForeverRedDays.year");
    if (ok) {
        QVERIFY(QFileInfo(workDir + "/YEARS").isDir());
    } else {
        QCOMPARE(r.status, StoreResult::Status::FolderFailed);
        QVERIFY(r.message.contains(workDir + "/YEARS") && !r.reason.isEmpty());
    }
}

QTEST_APPLESS_MAIN(TestYearFile)
#include "tst_yearfile.moc"
