#include "AlarmRecord.h"
#include "Calendar.h"
#include "DayMarkRecord.h"
#include "DisplaySettings.h"
#include "RecordList.h"
#include "StringList.h"
#include "YearData.h"

#include <QTest>

#include <set>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    // The built-in defaults are written to every first-run defaults file and must match the old bytes.
    void builtInDefaultsHaveTheseBytes_data();
    void builtInDefaultsHaveTheseBytes();
    // Only the eleven link slots are cleared before saving; the other bytes are the user's settings.
    void clearLinkSlotsTouchesOnlyTheSlots();
    // An access outside a list raises and changes nothing, so a bad index can never corrupt a year.
    void outOfRangeAccessRaisesAndChangesNothing();
    // New records read as all zero (no marks, no alarm), new texts as empty.
    void growingZeroFillsAndShrinkingDropsTheTail();
    // setAtGrow builds the every-year list; removeAt deletes a project name.
    void setAtGrowFillsTheGapAndRemoveAtShifts();
    // A year about to be loaded has 370 empty days and no projects.
    void resetSizesTheDayListsTo370();
};

void TestRecords::builtInDefaultsHaveTheseBytes_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray arial = QByteArray("Arial") + QByteArray(27, '\0');
    QTest::newRow("m_bShowDayNumbers") << 0 << QByteArray::fromHex("01");
    QTest::newRow("m_bShowStatusInfo") << 5 << QByteArray::fromHex("01");
    QTest::newRow("m_nMargin .. m_nDayNumberX") << 8
                                                << QByteArray::fromHex("0f000000"
                                                                       "32000000"
                                                                       "0f000000"
                                                                       "04000000"
                                                                       "01000000"
                                                                       "01000000"
                                                                       "02000000"
                                                                       "03000000"
                                                                       "05000000");
    QTest::newRow("colours at 132") << 132
                                    << QByteArray::fromHex("c8c8c800"
                                                           "ffffff00"
                                                           "ffffff00"
                                                           "ffc8c800"
                                                           "c8c8c800"
                                                           "ffff0000");
    QTest::newRow("m_crYear") << 216 << QByteArray::fromHex("0000ff00");
    QTest::newRow("m_lfYear height") << 296 << QByteArray::fromHex("1e000000");
    QTest::newRow("m_lfYear weight") << 312 << QByteArray::fromHex("bc020000");
    QTest::newRow("m_lfYear face") << 324 << arial;
    QTest::newRow("m_lfDay height") << 356 << QByteArray::fromHex("0a000000");
    QTest::newRow("m_lfDay weight") << 372 << QByteArray::fromHex("bc020000");
    QTest::newRow("m_lfDay face") << 384 << arial;
    QTest::newRow("m_lfMonth height") << 416 << QByteArray::fromHex("0e000000");
    QTest::newRow("m_lfMonth weight") << 432 << QByteArray::fromHex("90010000");
    QTest::newRow("m_lfMonth face") << 444 << arial;
    QTest::newRow("m_stSelected") << 1496
                                  << QByteArray::fromHex("db07"
                                                         "0c00"
                                                         "0000"
                                                         "1900"
                                                         "1500"
                                                         "0400"
                                                         "0500"
                                                         "0600");
}

void TestRecords::builtInDefaultsHaveTheseBytes()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    SYSTEMTIME now = Calendar::makeDate(2011, 12, 25);
    now.wHour = 21;
    now.wMinute = 4;
    now.wSecond = 5;
    now.wMilliseconds = 6;
    const DisplaySettings s = DisplaySettings::builtInDefaults(now);
    const QByteArray image(reinterpret_cast<const char*>(&s), sizeof s);
    QCOMPARE(image.mid(offset, bytes.size()).toHex(), bytes.toHex());

    // Every byte outside the rows of the table is zero.
    std::set<int> listed;
    const std::pair<int, int> ranges[] = {{0, 1},    {5, 1},   {8, 36},   {132, 24}, {216, 4},
                                          {296, 4},  {312, 4}, {324, 32}, {356, 4},  {372, 4},
                                          {384, 32}, {416, 4}, {432, 4},  {444, 32}, {1496, 16}};
    for (const auto& [start, length] : ranges)
        for (int i = start; i < start + length; ++i)
            listed.insert(i);
    for (int i = 0; i < int(sizeof s); ++i)
        if (!listed.count(i) && image[i] != 0)
            QFAIL(qPrintable(QString("byte %1 is not zero").arg(i)));
}

void TestRecords::clearLinkSlotsTouchesOnlyTheSlots()
{
    DisplaySettings s;
    std::memset(&s, 0xA5, sizeof s);
    s.clearLinkSlots();
    const auto* image = reinterpret_cast<const std::uint8_t*>(&s);
    const std::set<int> linkSlots = {48, 52, 56, 60, 1512, 1516, 1520, 1524, 1528, 1532, 1536};
    for (int i = 0; i < int(sizeof s); ++i)
        QCOMPARE(int(image[i]), linkSlots.count(i - i % 4) ? 0 : 0xA5);
}

void TestRecords::outOfRangeAccessRaisesAndChangesNothing()
{
    RecordList<AlarmRecord> alarms;
    alarms.setCount(3);
    alarms.at(2).m_bOn = 1;
    const RecordList<AlarmRecord> before = alarms;
    for (const qsizetype i : {qsizetype(-1), qsizetype(3), qsizetype(1) << 40}) {
        QVERIFY_THROWS_EXCEPTION(InvalidArgument, alarms.at(i));
        QVERIFY_THROWS_EXCEPTION(InvalidArgument, alarms.removeAt(i));
    }
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, alarms.setCount(-1));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, alarms.setAtGrow(-1, AlarmRecord{}));
    QVERIFY(alarms == before);

    StringList texts;
    texts.setCount(2);
    texts.setAt(1, "kept");
    for (const qsizetype i : {qsizetype(-1), qsizetype(2)}) {
        QVERIFY_THROWS_EXCEPTION(InvalidArgument, texts.at(i));
        QVERIFY_THROWS_EXCEPTION(InvalidArgument, texts.setAt(i, "x"));
        QVERIFY_THROWS_EXCEPTION(InvalidArgument, texts.removeAt(i));
    }
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, texts.setCount(-5));
    QCOMPARE(texts.count(), qsizetype(2));
    QCOMPARE(texts.at(1), QByteArray("kept"));
}

void TestRecords::growingZeroFillsAndShrinkingDropsTheTail()
{
    RecordList<DayMarkRecord> marks;
    marks.setCount(5);
    std::memset(static_cast<void*>(marks.data()), 0xFF, 5 * sizeof(DayMarkRecord));
    marks.setCount(2);
    QCOMPARE(marks.count(), qsizetype(2));
    QCOMPARE(marks.at(1).m_bChecked[0], std::uint8_t(0xFF));
    marks.setCount(4);
    for (const int i : {2, 3})
        for (const std::uint8_t b : marks.at(i).m_bChecked)
            QCOMPARE(b, std::uint8_t(0));
    marks.setCount(0);
    QVERIFY(marks.isEmpty());
    marks.append(DayMarkRecord{});
    QCOMPARE(marks.count(), qsizetype(1));

    StringList texts;
    texts.append("a");
    texts.append("b");
    texts.setCount(1);
    texts.setCount(3);
    QCOMPARE(texts.at(0), QByteArray("a"));
    QCOMPARE(texts.at(1), QByteArray());
    QCOMPARE(texts.at(2), QByteArray());
}

void TestRecords::setAtGrowFillsTheGapAndRemoveAtShifts()
{
    RecordList<AlarmRecord> alarms;
    AlarmRecord on{};
    on.m_bOn = 1;
    alarms.setAtGrow(4, on);
    QCOMPARE(alarms.count(), qsizetype(5));
    QCOMPARE(alarms.at(3).m_bOn, std::uint8_t(0));
    QCOMPARE(alarms.at(4).m_bOn, std::uint8_t(1));
    alarms.setAtGrow(0, on);
    QCOMPARE(alarms.count(), qsizetype(5));
    alarms.removeAt(0);
    QCOMPARE(alarms.count(), qsizetype(4));
    QCOMPARE(alarms.at(3).m_bOn, std::uint8_t(1));

    StringList names;
    names.setAtGrow(2, "third");
    QCOMPARE(names.count(), qsizetype(3));
    QCOMPARE(names.at(0), QByteArray());
    names.append("fourth");
    names.removeAt(1);
    QCOMPARE(names.at(1), QByteArray("third"));
    QCOMPARE(names.at(2), QByteArray("fourth"));
}

void TestRecords::resetSizesTheDayListsTo370()
{
    YearData y;
    y.m_settings.m_nMargin = 7;
    y.m_projects.setCount(4);
    y.m_names.setCount(4);
    y.m_memos.setCount(3);
    y.m_memos.setAt(2, "old");
    y.reset();
    QCOMPARE(y.m_settings.m_nMargin, 0);
    QCOMPARE(y.m_projects.count(), qsizetype(0));
    QCOMPARE(y.m_names.count(), qsizetype(0));
    for (const qsizetype n : {y.m_dayMarks.count(), y.m_redDays.count(), y.m_alarms.count(),
                              y.m_memos.count(), y.m_alarmTexts.count(), y.m_redTexts.count()})
        QCOMPARE(n, YearData::kDayListSize);
    QCOMPARE(y.m_memos.at(2), QByteArray());
    QCOMPARE(y.m_alarms.at(369).m_stWhen.wYear, std::uint16_t(0));
}

QTEST_APPLESS_MAIN(TestRecords)
#include "tst_records.moc"
