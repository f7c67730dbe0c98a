#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "DayMarkRecord.h"
#include "RedDayRecord.h"

#include <QBuffer>
#include <QTest>

namespace {

QByteArray hex(const char* h)
{
    return QByteArray::fromHex(h);
}

} // namespace

class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    // Old files carry counts in exactly these forms; one byte off and every later item is misread.
    void countsUseTwoBytesBelowFFFFAndSixFromThere_data();
    void countsUseTwoBytesBelowFFFFAndSixFromThere();
    // Text prefixes switch form at 255 and 0xFFFE bytes; both sides of each switch must match old files.
    void textPrefixesSwitchAt255And0xFFFE_data();
    void textPrefixesSwitchAt255And0xFFFE();
    // Another writer may have used a long prefix for a short text; FF FE FF never occurs in our files.
    void readerAcceptsLongPrefixFormsButNotFFFEFF();
    // Records are stored as raw images after their count, texts byte for byte whatever their encoding.
    void listsAreCountThenRawImagesOrTexts();
    // Hostile counts and lengths must fail before allocating what they claim.
    void hostileCountsAllocateOnlyWhatTheFileHolds_data();
    void hostileCountsAllocateOnlyWhatTheFileHolds();
    // A list cut inside its records keeps the bytes present and zeros for the rest, like the old reader.
    void recordListCutShortKeepsPresentBytesAndZeroFills();
    // A text list cut short keeps the texts before the cut and empty texts after it.
    void textListCutShortKeepsTextsBeforeTheCut();
    // Reading a list replaces what the list held, so nothing of the previous year leaks into the next.
    void readingAListReplacesItsContent();
    void textsReadTogetherStayApart();
    void readingOverLoadedTextsLeavesOtherHoldersTheirs_data();
    void readingOverLoadedTextsLeavesOtherHoldersTheirs();
    // Tests and callers may hand over a device already positioned past other data.
    void readerStartsAtTheDevicePosition();
};

void TestArchive::countsUseTwoBytesBelowFFFFAndSixFromThere_data()
{
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0") << qsizetype(0) << hex("0000");
    QTest::newRow("370") << qsizetype(370) << hex("7201");
    QTest::newRow("0xFFFE") << qsizetype(0xFFFE) << hex("feff");
    QTest::newRow("0xFFFF") << qsizetype(0xFFFF) << hex("ffffffff0000");
    QTest::newRow("0x10000") << qsizetype(0x10000) << hex("ffff00000100");
    QTest::newRow("0xFFFFFFFF") << qsizetype(0xFFFFFFFF) << hex("ffffffffffff");
}

void TestArchive::countsUseTwoBytesBelowFFFFAndSixFromThere()
{
    QFETCH(qsizetype, count);
    QFETCH(QByteArray, bytes);
    ArchiveWriter out;
    out.writeCount(count);
    QCOMPARE(out.data().toHex(), bytes.toHex());
    ArchiveReader in(bytes);
    QCOMPARE(qsizetype(in.readCount()), count);
    QVERIFY(in.atEnd());
}

void TestArchive::textPrefixesSwitchAt255And0xFFFE_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("0") << qsizetype(0) << hex("00");
    QTest::newRow("254") << qsizetype(254) << hex("fe");
    QTest::newRow("255") << qsizetype(255) << hex("ffff00");
    QTest::newRow("0xFFFD") << qsizetype(0xFFFD) << hex("fffdff");
    QTest::newRow("0xFFFE") << qsizetype(0xFFFE) << hex("fffffffeff0000");
    QTest::newRow("0x10000") << qsizetype(0x10000) << hex("ffffff00000100");
}

void TestArchive::textPrefixesSwitchAt255And0xFFFE()
{
    QFETCH(qsizetype, length);
    QFETCH(QByteArray, prefix);
    QByteArray text(length, 'x');
    if (length > 0)
        text[length - 1] = '\x9d'; // an unassigned Windows-1252 byte must survive too
    ArchiveWriter out;
    out.writeString(text);
    QCOMPARE(out.data().size(), prefix.size() + length);
    QCOMPARE(out.data().left(prefix.size()).toHex(), prefix.toHex());
    ArchiveReader in(out.data());
    QCOMPARE(in.readString(), text);
    QVERIFY(in.atEnd());
}

void TestArchive::readerAcceptsLongPrefixFormsButNotFFFEFF()
{
    ArchiveReader longForms(hex("ff0300616263") + hex("ffffff02000000"
                                                      "6465"));
    QCOMPARE(longForms.readString(), QByteArray("abc"));
    QCOMPARE(longForms.readString(), QByteArray("de"));

    ArchiveReader reserved(hex("00"
                               "fffeff"
                               "0100"));
    QCOMPARE(reserved.readString(), QByteArray());
    try {
        reserved.readString();
        QFAIL("FF FE FF accepted");
    } catch (const ArchiveError& e) {
        QCOMPARE(e.offset(), qsizetype(1));
    }
}

void TestArchive::listsAreCountThenRawImagesOrTexts()
{
    RecordList<RedDayRecord> days;
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    r.m_stDate = {2011, 12, 0, 25, 0, 0, 0, 0};
    days.append(r);
    r.m_reserved18[5] = 0xAB; // reserved bytes are stored as they are
    days.append(r);
    StringList texts;
    texts.append("Christmas");
    texts.append(QByteArray());
    texts.append("\xC3\xA9t\xE9"); // half UTF-8, half Windows-1252: kept as is

    ArchiveWriter out;
    out.writeRecordList(days);
    out.writeStringList(texts);
    const QByteArray expected = hex("0200") +
                                hex("0100"
                                    "db07"
                                    "0c00"
                                    "0000"
                                    "1900"
                                    "0000000000000000"
                                    "000000000000") +
                                hex("0100"
                                    "db07"
                                    "0c00"
                                    "0000"
                                    "1900"
                                    "0000000000000000"
                                    "0000000000ab") +
                                hex("0300") +
                                "\x09"
                                "Christmas" +
                                hex("00") + "\x04\xC3\xA9t\xE9";
    QCOMPARE(out.data().toHex(), expected.toHex());

    ArchiveReader in(out.data());
    RecordList<RedDayRecord> daysBack;
    StringList textsBack;
    in.readRecordList(daysBack);
    in.readStringList(textsBack);
    QVERIFY(daysBack == days);
    QVERIFY(textsBack == texts);
    QVERIFY(in.atEnd());
}

void TestArchive::hostileCountsAllocateOnlyWhatTheFileHolds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("item"); // 0 record list, 1 text list, 2 text
    QTest::addColumn<qsizetype>("maxEntries");
    QTest::addColumn<qsizetype>("offset");

    const QByteArray filler(200, '\x01');
    // 200 bytes hold 2 whole day-mark records (the second partly); 0xFFFFFFFF would be 515 GB.
    QTest::newRow("record count 0xFFFFFFFF")
        << hex("ffffffffffff") + filler << 0 << qsizetype(2) << qsizetype(0);
    // Padding to 0x10000 records would cost 7.8 MB: too much beyond the file, so it is not done.
    QTest::newRow("record count 0x10000")
        << hex("ffff00000100") + filler << 0 << qsizetype(2) << qsizetype(0);
    // Each text of the filler is 01 01: the hundred texts are read, then the 101st runs past the end.
    QTest::newRow("text count 0xFFFFFFFF")
        << hex("ffffffffffff") + filler << 1 << qsizetype(200) << qsizetype(206);
    // A per-day list cut after its count is padded, a count far beyond that is not.
    QTest::newRow("text count 370, no texts") << hex("7201") << 1 << qsizetype(370) << qsizetype(2);
    QTest::newRow("text count 0xFFFE, no texts") << hex("feff") << 1 << qsizetype(0) << qsizetype(0);
    QTest::newRow("text length 0xFFFFFFFF")
        << hex("ffffffffffffff") + filler << 2 << qsizetype(0) << qsizetype(0);
    QTest::newRow("text length 0xFFFD") << hex("fffdff") + filler << 2 << qsizetype(0) << qsizetype(0);
    QTest::newRow("32-bit count cut") << hex("ffff0000") << 0 << qsizetype(0) << qsizetype(0);
    QTest::newRow("empty") << QByteArray() << 1 << qsizetype(0) << qsizetype(0);
}

void TestArchive::hostileCountsAllocateOnlyWhatTheFileHolds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, item);
    QFETCH(qsizetype, maxEntries);
    QFETCH(qsizetype, offset);
    ArchiveReader in(bytes);
    RecordList<DayMarkRecord> marks;
    StringList texts;
    QByteArray text = "untouched";
    try {
        if (item == 0)
            in.readRecordList(marks);
        else if (item == 1)
            in.readStringList(texts);
        else
            text = in.readString();
        QFAIL("no error raised");
    } catch (const ArchiveError& e) {
        QCOMPARE(e.offset(), offset);
        QVERIFY(!e.reason().isEmpty());
    }
    QVERIFY2(marks.count() <= maxEntries, qPrintable(QString::number(marks.count())));
    QVERIFY2(texts.count() <= maxEntries, qPrintable(QString::number(texts.count())));
    QCOMPARE(text, QByteArray("untouched"));
}

void TestArchive::recordListCutShortKeepsPresentBytesAndZeroFills()
{
    // 3 records of 24 bytes announced, 30 bytes present: record 0 whole, record 1 for 6 bytes.
    QByteArray bytes = hex("0300");
    for (int i = 0; i < 30; ++i)
        bytes += char(i + 1);
    ArchiveReader in(bytes);
    RecordList<RedDayRecord> days;
    try {
        in.readRecordList(days);
        QFAIL("no error raised");
    } catch (const ArchiveError& e) {
        QCOMPARE(e.offset(), qsizetype(0));
    }
    QCOMPARE(days.count(), qsizetype(3));
    const auto* image = reinterpret_cast<const std::uint8_t*>(days.data());
    for (int i = 0; i < 72; ++i)
        QCOMPARE(int(image[i]), i < 30 ? i + 1 : 0);
}

void TestArchive::textListCutShortKeepsTextsBeforeTheCut()
{
    const QByteArray bytes = hex("7201") +
                             "\x02"
                             "ab" +
                             hex("00") +
                             "\x05"
                             "cd";
    ArchiveReader in(bytes);
    StringList texts;
    try {
        in.readStringList(texts);
        QFAIL("no error raised");
    } catch (const ArchiveError& e) {
        QCOMPARE(e.offset(), qsizetype(2 + 3 + 1)); // the third text's prefix
    }
    QCOMPARE(texts.count(), qsizetype(370));
    QCOMPARE(texts.at(0), QByteArray("ab"));
    QCOMPARE(texts.at(1), QByteArray());
    QCOMPARE(texts.at(2), QByteArray());
    QCOMPARE(texts.at(369), QByteArray());
}

void TestArchive::readingAListReplacesItsContent()
{
    RecordList<RedDayRecord> days;
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    for (int i = 0; i < 5; ++i)
        days.append(r);
    StringList texts;
    texts.append("old");
    texts.append("older");

    // One record whose bytes are cut after 2 of 24, then a text list of one text.
    ArchiveReader cut(hex("0100"
                          "0000"));
    QVERIFY_THROWS_EXCEPTION(ArchiveError, cut.readRecordList(days));
    QCOMPARE(days.count(), qsizetype(1));
    QCOMPARE(days.at(0).m_bEveryYear, std::uint8_t(0));

    ArchiveReader whole(hex("0100") + "\x03"
                                      "new");
    whole.readStringList(texts);
    QCOMPARE(texts.count(), qsizetype(1));
    QCOMPARE(texts.at(0), QByteArray("new"));
}

// The texts of a list are read into one block; each must still behave as a text of its own: ending in a
// zero byte, and changed, grown or released without touching its neighbours.
void TestArchive::textsReadTogetherStayApart()
{
    const QList<QByteArray> stored{"alpha", "", "beta", QByteArray(300, 'x'), "", "gamma"};
    ArchiveWriter out;
    StringList written;
    for (const QByteArray& t : stored)
        written.append(t);
    out.writeStringList(written);
    StringList texts;
    {
        ArchiveReader in(out.takeData());
        in.readStringList(texts);
    }
    QCOMPARE(texts.count(), qsizetype(stored.size()));
    for (qsizetype i = 0; i < texts.count(); ++i) {
        QCOMPARE(texts.at(i), stored.at(i));
        QCOMPARE(texts.at(i).constData()[texts.at(i).size()], '\0');
    }
    QByteArray grown = texts.at(0);
    grown.append("-and-more-than-fits-before-the-next-text");
    QByteArray changed = texts.at(2);
    changed[0] = 'B';
    texts.setAt(5, QByteArray());
    QCOMPARE(texts.at(0), QByteArray("alpha"));
    QCOMPARE(texts.at(2), QByteArray("beta"));
    QCOMPARE(texts.at(3), QByteArray(300, 'x'));
    QCOMPARE(grown, QByteArray("alpha-and-more-than-fits-before-the-next-text"));
    QCOMPARE(changed, QByteArray("Beta"));

    // The last holder of the block may grow in place; what it overwrites belonged to texts now gone.
    StringList one = texts;
    texts.clear();
    QByteArray last = one.at(3);
    one.clear();
    last.append("y");
    QCOMPARE(last, QByteArray(300, 'x') + "y");
}

// A list read over texts of an earlier read lets go of them block by block; whoever else holds one of
// them (a copy of the list, one text, a text of its own in between) keeps it whole.
void TestArchive::readingOverLoadedTextsLeavesOtherHoldersTheirs_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("nobody") << "nobody";
    QTest::newRow("a copy of the list") << "list";
    QTest::newRow("one text") << "text";
    QTest::newRow("an edited entry between") << "edited";
    QTest::newRow("raw data between") << "raw";
}

void TestArchive::readingOverLoadedTextsLeavesOtherHoldersTheirs()
{
    QFETCH(QString, holder);
    const auto encoded = [](const QList<QByteArray>& texts) {
        StringList list;
        for (const QByteArray& t : texts)
            list.append(t);
        ArchiveWriter out;
        out.writeStringList(list);
        return out.takeData();
    };
    const QList<QByteArray> first{"one", "", "two", "three", QByteArray(200, 'f')};
    const QList<QByteArray> second{"", "uno", "", "dos", "tres", "cuatro"};
    static const char raw[] = "raw text";

    StringList texts;
    ArchiveReader(encoded(first)).readStringList(texts);
    StringList copy;
    QByteArray one;
    if (holder == "list")
        copy = texts;
    if (holder == "text")
        one = texts.at(4);
    if (holder == "edited")
        texts.setAt(2, QByteArray("mine"));
    if (holder == "raw")
        texts.setAt(2, QByteArray::fromRawData(raw, 8));
    // Twice: the second read lets go of a block made by a read.
    for (int round = 0; round < 2; ++round) {
        ArchiveReader(encoded(second)).readStringList(texts);
        QCOMPARE(texts.count(), qsizetype(second.size()));
        for (qsizetype i = 0; i < texts.count(); ++i)
            QCOMPARE(texts.at(i), second.at(i));
    }
    if (holder == "list")
        for (qsizetype i = 0; i < copy.count(); ++i)
            QCOMPARE(copy.at(i), first.at(i));
    if (holder == "text") {
        QCOMPARE(one, QByteArray(200, 'f'));
        one.append('g'); // now its block's only holder
        QCOMPARE(one, QByteArray(200, 'f') + 'g');
    }
}

void TestArchive::readerStartsAtTheDevicePosition()
{
    QByteArray data = "HEADER" + hex("0200") +
                      "\x01"
                      "a" +
                      "\x01"
                      "b";
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(buffer.seek(6));
    ArchiveReader in(buffer);
    QCOMPARE(in.size(), qsizetype(6));
    StringList texts;
    in.readStringList(texts);
    QCOMPARE(texts.at(1), QByteArray("b"));
    QVERIFY(in.atEnd());
    QVERIFY_THROWS_EXCEPTION(ArchiveError, in.readCount());
}

QTEST_APPLESS_MAIN(TestArchive)
#include "tst_archive.moc"
