#include "TextCodec.h"

#include <QTest>

class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    // Texts from the old platform are Windows-1252 and must read as the characters the user typed.
    void windows1252BytesDecodeToTheirCharacters_data();
    void windows1252BytesDecodeToTheirCharacters();
    // Every single byte, the five unassigned ones included, comes back as the same byte.
    void everyByteSurvivesADecodeAndEncode();
    // New texts: Windows-1252 when it can hold them and cannot be mistaken for UTF-8, else UTF-8.
    void encodePicksWindows1252OrUtf8_data();
    void encodePicksWindows1252OrUtf8();
    // A text the user did not edit keeps its exact bytes, whatever encoding they are in.
    void untouchedTextKeepsItsBytes_data();
    void untouchedTextKeepsItsBytes();
    // Only well-formed UTF-8 is read as UTF-8; anything else is Windows-1252.
    void malformedUtf8IsNotUtf8_data();
    void malformedUtf8IsNotUtf8();
    // A byte-order mark at the start is a character of the text like any other, not a header to drop.
    void leadingByteOrderMarkIsKept_data();
    void leadingByteOrderMarkIsKept();
};

void TestTextCodec::windows1252BytesDecodeToTheirCharacters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Memo 1") << "Memo 1";
    QTest::newRow("Latin-1 range") << QByteArray("\xE9t\xE9 \xC4\xD6\xDC\xDF")
                                   << QString::fromUtf8("été ÄÖÜß");
    QTest::newRow("euro, dash, quotes") << QByteArray("\x80 \x96 \x93x\x94") << QString::fromUtf8("€ – “x”");
    QTest::newRow("0x9F") << QByteArray("\x9F") << QString::fromUtf8("Ÿ");
    QTest::newRow("unassigned 0x81 0x8D 0x8F 0x90 0x9D")
        << QByteArray("\x81\x8D\x8F\x90\x9D") << QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D");
    QTest::newRow("UTF-8") << QByteArray("\xC3\xA9t\xC3\xA9") << QString::fromUtf8("été");
    QTest::newRow("UTF-8 emoji") << QByteArray("\xF0\x9F\x94\x94 ring") << QString::fromUtf8("🔔 ring");
}

void TestTextCodec::windows1252BytesDecodeToTheirCharacters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TextCodec::decode(bytes), text);
}

void TestTextCodec::everyByteSurvivesADecodeAndEncode()
{
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        QCOMPARE(TextCodec::encode(TextCodec::decode(one)), one);
    }
}

void TestTextCodec::encodePicksWindows1252OrUtf8_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ASCII") << "Dentist 9:30" << QByteArray("Dentist 9:30");
    QTest::newRow("accents") << QString::fromUtf8("Noël, Müller") << QByteArray("No\xEBl, M\xFCller");
    QTest::newRow("euro") << QString::fromUtf8("5 €") << QByteArray("5 \x80");
    QTest::newRow("emoji") << QString::fromUtf8("🔔") << QByteArray("\xF0\x9F\x94\x94");
    QTest::newRow("Greek") << QString::fromUtf8("Ωmega") << QByteArray("\xCE\xA9mega");
    // In Windows-1252 these would be C3 A9, which reads back as UTF-8 "é".
    QTest::newRow("looks like UTF-8") << QString::fromUtf8("Ã©") << QByteArray("\xC3\x83\xC2\xA9");
}

void TestTextCodec::encodePicksWindows1252OrUtf8()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(TextCodec::encode(text).toHex(), bytes.toHex());
    QCOMPARE(TextCodec::decode(TextCodec::encode(text)), text);
}

void TestTextCodec::untouchedTextKeepsItsBytes_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::newRow("Windows-1252") << QByteArray("caf\xE9 \x80");
    QTest::newRow("UTF-8 that Windows-1252 could hold") << QByteArray("caf\xC3\xA9");
    QTest::newRow("unassigned bytes") << QByteArray("\x81\x8D\x8F\x90\x9D");
    QTest::newRow("emoji") << QByteArray("\xF0\x9F\x8E\x84");
    QTest::newRow("control bytes") << QByteArray("a\x01\tb\r\n", 6);
}

void TestTextCodec::untouchedTextKeepsItsBytes()
{
    QFETCH(QByteArray, original);
    const QString shown = TextCodec::decode(original);
    QCOMPARE(TextCodec::reencode(shown, original), original);
    const QString edited = shown + QStringLiteral("!");
    QCOMPARE(TextCodec::reencode(edited, original), TextCodec::encode(edited));
    QCOMPARE(TextCodec::decode(TextCodec::reencode(edited, original)), edited);
}

void TestTextCodec::malformedUtf8IsNotUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("four-byte sequence") << QByteArray("\xF4\x8F\xBF\xBF") << true;
    QTest::newRow("overlong NUL") << QByteArray("\xC0\x80") << false;
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("cut sequence") << QByteArray("ab\xE2\x82") << false;
    QTest::newRow("lone continuation") << QByteArray("\x80") << false;
}

void TestTextCodec::malformedUtf8IsNotUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(TextCodec::isValidUtf8(bytes), valid);
    if (!valid) // read as Windows-1252: one character per byte
        QCOMPARE(TextCodec::decode(bytes).size(), bytes.size());
}

void TestTextCodec::leadingByteOrderMarkIsKept_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString bom(QChar(0xFEFF)); // QString::fromUtf16 would drop it too
    QTest::newRow("BOM then A") << QByteArray("\xEF\xBB\xBF"
                                              "A")
                                << bom + "A";
    QTest::newRow("BOM alone") << QByteArray("\xEF\xBB\xBF") << bom;
    QTest::newRow("two BOMs") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                                            "x")
                              << bom + bom + "x";
    QTest::newRow("BOM before non-ASCII") << QByteArray("\xEF\xBB\xBF\xC3\xA9") << bom + QChar(0xE9);
}

void TestTextCodec::leadingByteOrderMarkIsKept()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TextCodec::decode(bytes), text);
    QCOMPARE(TextCodec::encode(text).toHex(), bytes.toHex());
    QCOMPARE(TextCodec::decode(TextCodec::encode(text)), text);
    QCOMPARE(TextCodec::reencode(text, bytes), bytes);
}

QTEST_APPLESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
