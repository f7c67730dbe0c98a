// Font sizes remembered between runs: a remembered size that still fits is used at once and checked once the
// window shows; one that no longer fits, or a damaged file, costs only the time to find the size again.

#include "FontSizeCache.h"
#include "QtConversion.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

namespace {

LOGFONTA cellFont(int cellHeight)
{
    LOGFONTA lf{};
    lf.lfHeight = cellHeight;
    lf.lfWeight = 700;
    std::strncpy(lf.lfFaceName, "Arial", sizeof lf.lfFaceName - 1);
    return lf;
}

QJsonObject sizesIn(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("sizes")).toObject()
               : QJsonObject();
}

} // namespace

class TestFontSizeCache : public QObject
{
    Q_OBJECT

private slots:
    void rememberedSizes_data();
    void rememberedSizes();
};

void TestFontSizeCache::rememberedSizes_data()
{
    QTest::addColumn<QByteArray>("file"); // "%s": the right size's key and value; "" no file
    QTest::addColumn<int>("offBy");       // what the file holds against the right size
    QTest::addColumn<bool>("usedAtOnce"); // the remembered size is the first answer
    QTest::addColumn<bool>("verifyChanges");
    QTest::newRow("nothing remembered") << QByteArray() << 0 << false << false;
    QTest::newRow("remembered right") << QByteArray("%s") << 0 << true << false;
    QTest::newRow("a pixel smaller, fits") << QByteArray("%s") << -1 << true << true;
    QTest::newRow("larger, does not fit") << QByteArray("%s") << 6 << false << false;
    QTest::newRow("damaged file") << QByteArray("{\"format\":1,\"sizes\":[") << 0 << false << false;
    QTest::newRow("another format") << QByteArray("{\"format\":9,\"sizes\":%s}") << -1 << false << false;
}

void TestFontSizeCache::rememberedSizes()
{
    QFETCH(QByteArray, file);
    QFETCH(int, offBy);
    QFETCH(bool, usedAtOnce);
    QFETCH(bool, verifyChanges);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cache/font-sizes.json"));
    FontSizeCache& cache = FontSizeCache::instance();

    // The right size, and the key it goes under, from a cache that knows nothing.
    cache.load(path);
    const int right = fontFromLogFont(cellFont(30)).pixelSize();
    const QJsonObject found = sizesIn(path);
    QCOMPARE(found.size(), 1);
    const QString key = found.begin().key();
    QCOMPARE(found.begin().value().toInt(), right);

    QFile::remove(path);
    if (!file.isEmpty()) {
        const QByteArray entry =
            QJsonDocument(QJsonObject{{key, right + offBy}}).toJson(QJsonDocument::Compact);
        QByteArray text = file == "%s" ? "{\"format\":1,\"sizes\":%s}" : file;
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text.replace("%s", entry));
    }
    cache.load(path);
    QCOMPARE(fontFromLogFont(cellFont(30)).pixelSize(), usedAtOnce ? right + offBy : right);
    QCOMPARE(cache.verify(), verifyChanges);
    // After the check, and in the file for the next run: the right size.
    QCOMPARE(fontFromLogFont(cellFont(30)).pixelSize(), right);
    QCOMPARE(sizesIn(path).value(key).toInt(), right);
    QVERIFY(!cache.verify());
    cache.load(QString());
}

QTEST_MAIN(TestFontSizeCache)
#include "tst_fontsizecache.moc"
