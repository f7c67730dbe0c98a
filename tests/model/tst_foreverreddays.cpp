#include "YearFixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace YearFixtures;

namespace {

RedDayRecord everyYearRecord(int year, int month, int day)
{
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    r.m_stDate = Calendar::makeDate(year, month, day);
    return r;
}

// Flags the day as an every-year red day with `text`, as the Day dialog stores it.
void flag(YearData& y, int month, int day, const QByteArray& text)
{
    const int d = Calendar::dayOfYear(y.year(), month, day);
    y.m_redDays.at(d) = everyYearRecord(y.year(), month, day);
    y.m_redTexts.setAt(d, text);
}

QByteArray everyYearFile(const QList<std::pair<RedDayRecord, QByteArray>>& entries, int texts = -1)
{
    ForeverRedDays f;
    for (const auto& [record, text] : entries) {
        f.m_foreverRedDays.append(record);
        if (texts < 0 || f.m_foreverRedTexts.count() < texts)
            f.m_foreverRedTexts.append(text);
    }
    return ForeverRedDaysFileCodec::encode(f);
}

} // namespace

class TestForeverRedDays : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // With no flagged day the file is two zero counts, and what it held before is gone.
    void noFlaggedDayWritesFourBytes();
    // Every-year red days appear at their month and day in every later year, leap or not.
    void flaggedDaysAppearInEveryYear_data();
    void flaggedDaysAppearInEveryYear();
    // Entries are stored whole, in day order, with their texts at the same positions.
    void fileHoldsWholeRecordsInDayOrder();
    // A flag without text is still an entry: the day keeps its flag and gets an empty text.
    void emptyTextKeepsTheFlag();
    // The merge overrides the year's own red day; of two entries for one day the later wins.
    void mergeOverridesTheYearAndLaterEntryWins();
    // 29 February cannot be shown in a common year, but must survive the save made from one.
    void february29IsKeptThroughACommonYear();
    // A damaged file still gives its readable entries, is reported, and its bytes are kept.
    void damagedFileMergesItsReadableEntries_data();
    void damagedFileMergesItsReadableEntries();
    // No file or an empty one: nothing to merge, nothing to report.
    void missingOrEmptyFileChangesNothing();
    // A year whose red texts are fewer than its red days still saves its flagged days.
    void flaggedDayWithoutTextSlotIsSavedWithEmptyText();
    // Shared documents read and write the file apart from any year: the lists go to and from disk as they
    // stand, with no merge and no collection.
    void loadAndSaveAloneKeepTheListsAsTheyStand();

private:
    std::optional<QTemporaryDir> m_dir;
    DataStore m_store;
};

void TestForeverRedDays::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    QVERIFY(m_store.CaptureWorkDir(m_dir->path()).ok());
}

void TestForeverRedDays::noFlaggedDayWritesFourBytes()
{
    YearData with = emptyYear(2010);
    flag(with, 5, 1, "Labour Day");
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, with, f).ok());
    QVERIFY(readFile(m_store.foreverRedDaysPath()).size() > 4);

    YearData without = emptyYear(2010);
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, without, f).ok());
    QCOMPARE(readFile(m_store.foreverRedDaysPath()).toHex(), QByteArray("00000000"));
}

void TestForeverRedDays::flaggedDaysAppearInEveryYear_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("christmasIndex");
    QTest::newRow("common year") << 2011 << 359;
    QTest::newRow("leap year") << 2012 << 360;
    QTest::newRow("2000, a leap century") << 2000 << 360;
    QTest::newRow("2100, a common century") << 2100 << 359;
}

void TestForeverRedDays::flaggedDaysAppearInEveryYear()
{
    QFETCH(int, year);
    QFETCH(int, christmasIndex);
    YearData source = emptyYear(2010);
    flag(source, 1, 1, "New Year");
    flag(source, 12, 25, "Christmas \x96 Noël"); // Windows-1252 dash, UTF-8-free bytes
    ForeverRedDays saved;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, source, saved).ok());

    YearData shown = emptyYear(year);
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kLoad, shown, f).ok());
    QCOMPARE(f.m_foreverRedDays.count(), qsizetype(2));
    QCOMPARE(shown.m_redTexts.at(1), QByteArray("New Year"));
    QCOMPARE(shown.m_redTexts.at(christmasIndex), QByteArray("Christmas \x96 Noël"));
    QCOMPARE(shown.m_redDays.at(christmasIndex).m_bEveryYear, std::uint8_t(1));
    QCOMPARE(shown.m_redDays.at(christmasIndex).m_stDate, Calendar::makeDate(2010, 12, 25));
    QCOMPARE(shown.m_redTexts.at(christmasIndex - 1), QByteArray());
}

void TestForeverRedDays::fileHoldsWholeRecordsInDayOrder()
{
    YearData y = emptyYear(2011);
    flag(y, 12, 25, "Christmas");
    flag(y, 1, 1, "New Year");
    y.m_redDays.at(1).m_reserved18[0] = 0x42;
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, y, f).ok());

    const QByteArray expected =
        QByteArray::fromHex("0200") + QByteArray(reinterpret_cast<const char*>(&y.m_redDays.at(1)), 24) +
        QByteArray(reinterpret_cast<const char*>(&y.m_redDays.at(359)), 24) + QByteArray::fromHex("0200") +
        "\x08"
        "New Year" +
        "\x09"
        "Christmas";
    QCOMPARE(readFile(m_store.foreverRedDaysPath()).toHex(), expected.toHex());
}

void TestForeverRedDays::emptyTextKeepsTheFlag()
{
    YearData source = emptyYear(2011);
    flag(source, 7, 14, QByteArray());
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, source, f).ok());

    YearData shown = emptyYear(2012);
    shown.m_redTexts.setAt(196, "own text");
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kLoad, shown, f).ok());
    QCOMPARE(shown.m_redDays.at(196).m_bEveryYear, std::uint8_t(1));
    QCOMPARE(shown.m_redTexts.at(196), QByteArray());
}

void TestForeverRedDays::mergeOverridesTheYearAndLaterEntryWins()
{
    QVERIFY(writeFile(
        m_store.foreverRedDaysPath(),
        everyYearFile({{everyYearRecord(2001, 5, 17), "first"}, {everyYearRecord(2002, 5, 17), "second"}})));
    YearData shown = emptyYear(2011);
    shown.m_redTexts.setAt(137, "the year's own");
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kLoad, shown, f).ok());
    QCOMPARE(shown.m_redTexts.at(137), QByteArray("second"));
    QCOMPARE(shown.m_redDays.at(137).m_stDate.wYear, std::uint16_t(2002));
}

void TestForeverRedDays::february29IsKeptThroughACommonYear()
{
    QVERIFY(writeFile(m_store.foreverRedDaysPath(), everyYearFile({{everyYearRecord(2012, 2, 28), "28th"},
                                                                   {everyYearRecord(2012, 2, 29), "Leap Day"},
                                                                   {everyYearRecord(2012, 3, 1), "1st"}})));
    YearData common = emptyYear(2011);
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kLoad, common, f).ok());
    QCOMPARE(common.m_redTexts.at(59), QByteArray("28th"));
    QCOMPARE(common.m_redTexts.at(60), QByteArray("1st")); // not overwritten by 29 February
    QCOMPARE(f.m_keptDays.count(), qsizetype(1));

    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, common, f).ok());
    QCOMPARE(f.m_foreverRedTexts.count(), qsizetype(3));
    QCOMPARE(f.m_foreverRedTexts.at(1), QByteArray("Leap Day"));

    YearData leap = emptyYear(2016);
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kLoad, leap, f).ok());
    QCOMPARE(leap.m_redTexts.at(60), QByteArray("Leap Day"));
    QCOMPARE(leap.m_redTexts.at(61), QByteArray("1st"));
    QVERIFY(f.m_keptDays.isEmpty());
}

void TestForeverRedDays::damagedFileMergesItsReadableEntries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("newYearText");
    QTest::addColumn<bool>("christmasMerged");

    const QList<std::pair<RedDayRecord, QByteArray>> entries = {{everyYearRecord(2010, 1, 1), "New Year"},
                                                                {everyYearRecord(2010, 12, 25), "Christmas"}};
    const QByteArray good = everyYearFile(entries);
    // Records cut short leave the texts unread: the entries read are merged with empty texts.
    QTest::newRow("fewer texts than records") << everyYearFile(entries, 1) << QByteArray("New Year") << true;
    QTest::newRow("cut inside the second record") << good.left(2 + 24 + 10) << QByteArray() << true;
    QTest::newRow("cut inside the texts") << good.left(good.size() - 3) << QByteArray("New Year") << true;
    QTest::newRow("hostile text count")
        << good.left(2 + 48) + QByteArray::fromHex("ffffffffffff") << QByteArray() << true;
    QTest::newRow("hostile record count")
        << QByteArray::fromHex("ffffffffffff") + good.mid(2) << QByteArray() << true;
    QTest::newRow("31 April") << everyYearFile({entries[0], {everyYearRecord(2010, 4, 30), "x"}, entries[1]})
                                     .replace(2 + 24 + 2 + 6, 1, "\x1f")
                              << QByteArray("New Year") << true;
    QTest::newRow("month 0") << everyYearFile({entries[0], {RedDayRecord{}, "x"}}) << QByteArray("New Year")
                             << false;
}

void TestForeverRedDays::damagedFileMergesItsReadableEntries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, newYearText);
    QFETCH(bool, christmasMerged);
    const QString path = m_store.foreverRedDaysPath();
    QVERIFY(writeFile(path, bytes));
    YearData shown = emptyYear(2011);
    ForeverRedDays f;
    const StoreResult r = m_store.LoadSaveForeverRedDays(DataStore::kLoad, shown, f);
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QVERIFY2(r.message.contains(path), qPrintable(r.message));
    QCOMPARE(r.keptAs, path + ".damaged");
    QVERIFY(readFile(r.keptAs) == bytes);
    QCOMPARE(shown.m_redDays.at(1).m_bEveryYear, std::uint8_t(1));
    QCOMPARE(shown.m_redTexts.at(1), newYearText);
    QCOMPARE(shown.m_redDays.at(359).m_bEveryYear, std::uint8_t(christmasMerged ? 1 : 0));
    QVERIFY(f.m_keptDays.isEmpty()); // damage is not carried into the next save
}

void TestForeverRedDays::missingOrEmptyFileChangesNothing()
{
    for (const bool empty : {false, true}) {
        if (empty)
            QVERIFY(writeFile(m_store.foreverRedDaysPath(), QByteArray()));
        YearData shown = richYear(2011);
        const YearData before = shown;
        ForeverRedDays f;
        f.m_foreverRedTexts.append("stale");
        QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kLoad, shown, f).ok());
        QVERIFY(shown == before);
        QVERIFY(f.m_foreverRedTexts.isEmpty());
    }
}

void TestForeverRedDays::flaggedDayWithoutTextSlotIsSavedWithEmptyText()
{
    YearData y = emptyYear(2011);
    flag(y, 1, 1, "New Year");
    y.m_redDays.at(300) = everyYearRecord(2011, 10, 27);
    y.m_redTexts.setCount(200);
    ForeverRedDays f;
    QVERIFY(m_store.LoadSaveForeverRedDays(DataStore::kSave, y, f).ok());
    QCOMPARE(f.m_foreverRedTexts.count(), qsizetype(2));
    QCOMPARE(f.m_foreverRedTexts.at(1), QByteArray());
}

void TestForeverRedDays::loadAndSaveAloneKeepTheListsAsTheyStand()
{
    ForeverRedDays f;
    f.m_foreverRedDays.append(everyYearRecord(2012, 2, 29));
    f.m_foreverRedTexts.append("Leap Day");
    f.m_foreverRedDays.append(everyYearRecord(2010, 1, 1));
    f.m_foreverRedTexts.append("New Year");
    f.m_keptDays.append(everyYearRecord(2010, 5, 5)); // never written: only the two lists are
    f.m_keptTexts.append("kept");
    QVERIFY(m_store.saveForeverRedDays(f).ok());
    QVERIFY(readFile(m_store.foreverRedDaysPath()) ==
            everyYearFile(
                {{everyYearRecord(2012, 2, 29), "Leap Day"}, {everyYearRecord(2010, 1, 1), "New Year"}}));

    ForeverRedDays loaded;
    loaded.m_keptTexts.append("stale");
    QVERIFY(m_store.loadForeverRedDays(loaded).ok());
    QVERIFY(loaded.m_foreverRedDays == f.m_foreverRedDays);
    QVERIFY(loaded.m_foreverRedTexts == f.m_foreverRedTexts);
    QVERIFY(loaded.m_keptTexts.isEmpty());

    // An entry no year can use is damage even when no year is at hand; the bytes are kept.
    f.m_foreverRedDays.append(RedDayRecord{});
    f.m_foreverRedTexts.append("month 0");
    QVERIFY(m_store.saveForeverRedDays(f).ok());
    const StoreResult r = m_store.loadForeverRedDays(loaded);
    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QVERIFY2(r.reason.contains("1 of 3 entries"), qPrintable(r.reason));
    QCOMPARE(r.keptAs, m_store.foreverRedDaysPath() + ".damaged");
    QCOMPARE(loaded.m_foreverRedDays.count(), qsizetype(3));
}

QTEST_APPLESS_MAIN(TestForeverRedDays)
#include "tst_foreverreddays.moc"
