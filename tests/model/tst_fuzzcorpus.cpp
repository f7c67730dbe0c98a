#include "ArchiveError.h"
#include "Calendar.h"
#include "DataStore.h"
#include "FuzzLoaders.h"
#include "FuzzStorage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kCorpus = QStringLiteral(TOLVA_FUZZ_CORPUS);
const QString kStorageCorpus = QStringLiteral(TOLVA_FUZZ_STORAGE_CORPUS);

QByteArray corpusFile(const QString& name)
{
    QFile f(kCorpus + QLatin1Char('/') + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing corpus file");
}

DisplaySettings corpusDefaults()
{
    return DisplaySettings::builtInDefaults(Calendar::makeDate(2011, 6, 15));
}

} // namespace

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    // Every input the fuzzer ever kept must still pass the loaders' invariants.
    void everyCorpusFileKeepsTheLoadersInvariants();
    // Each seed has a known outcome: valid files load cleanly, damaged ones are reported.
    void seedsLoadAsExpected_data();
    void seedsLoadAsExpected();
    // The seeds were written by an independent writer: our writer must produce the same bytes.
    void independentWriterAgreesByteForByte();
    // Every input the storage fuzzer kept must still pass through the real file operations cleanly.
    void everyStorageCorpusFileKeepsTheStorageInvariants();
};

void TestFuzzCorpus::everyCorpusFileKeepsTheLoadersInvariants()
{
    const QStringList names = QDir(kCorpus).entryList(QDir::Files);
    QVERIFY2(names.size() >= 12, qPrintable(kCorpus));
    for (const QString& name : names) {
        const QByteArray bytes = corpusFile(name);
        if (!fuzzLoaders(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())))
            QFAIL(qPrintable(name));
    }
}

void TestFuzzCorpus::seedsLoadAsExpected_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("loader");
    QTest::addColumn<bool>("clean");
    QTest::newRow("empty year") << "year-empty.year"
                                << "year" << true;
    QTest::newRow("rich year") << "year-rich.year"
                               << "year" << true;
    QTest::newRow("two settings records") << "year-two-settings.year"
                                          << "year" << true;
    QTest::newRow("zero length") << "zero-length.year"
                                 << "year" << true;
    QTest::newRow("truncated year") << "year-truncated.year"
                                    << "year" << false;
    QTest::newRow("settings count 0") << "year-settings-count-0.year"
                                      << "year" << false;
    QTest::newRow("hostile day-mark count") << "year-hostile-daymark-count.year"
                                            << "year" << false;
    QTest::newRow("hostile text length") << "year-hostile-text-length.year"
                                         << "year" << false;
    QTest::newRow("defaults") << "defaults.year"
                              << "defaults" << true;
    QTest::newRow("defaults cut") << "defaults-cut.year"
                                  << "defaults" << false;
    QTest::newRow("zero-length defaults") << "zero-length.year"
                                          << "defaults" << false;
    QTest::newRow("no every-year days") << "foreverreddays-empty.year"
                                        << "every year" << true;
    QTest::newRow("every-year days") << "foreverreddays.year"
                                     << "every year" << true;
    QTest::newRow("every-year texts missing") << "foreverreddays-fewer-texts.year"
                                              << "every year" << false;
}

void TestFuzzCorpus::seedsLoadAsExpected()
{
    QFETCH(QString, name);
    QFETCH(QString, loader);
    QFETCH(bool, clean);
    const QByteArray bytes = corpusFile(name);
    bool loadedCleanly = true;
    try {
        if (loader == "year") {
            YearData y;
            YearFileCodec::decode(bytes, y, corpusDefaults());
        } else if (loader == "defaults") {
            DefaultsFileCodec::decode(bytes);
        } else {
            ForeverRedDays f;
            ForeverRedDaysFileCodec::decode(bytes, f);
            YearData y;
            y.reset();
            y.m_settings.m_stSelected = Calendar::makeDate(2011, 1, 1);
            loadedCleanly = f.mergeInto(y) == 0;
        }
    } catch (const ArchiveError&) {
        loadedCleanly = false;
    }
    QCOMPARE(loadedCleanly, clean);
}

void TestFuzzCorpus::independentWriterAgreesByteForByte()
{
    YearData empty;
    empty.reset();
    empty.m_settings = corpusDefaults();
    QVERIFY(YearFileCodec::encode(empty) == corpusFile("year-empty.year"));
    QVERIFY(DefaultsFileCodec::encode(corpusDefaults()) == corpusFile("defaults.year"));

    const QByteArray rich = corpusFile("year-rich.year");
    YearData y;
    YearFileCodec::decode(rich, y, corpusDefaults());
    QCOMPARE(y.m_names.at(1), QByteArray("Caf\xE9"));
    QCOMPARE(y.m_memos.at(60).size(), qsizetype(255));
    QVERIFY(YearFileCodec::encode(y) == rich);

    ForeverRedDays f;
    ForeverRedDaysFileCodec::decode(corpusFile("foreverreddays.year"), f);
    QVERIFY(ForeverRedDaysFileCodec::encode(f) == corpusFile("foreverreddays.year"));
}

void TestFuzzCorpus::everyStorageCorpusFileKeepsTheStorageInvariants()
{
    const QStringList names = QDir(kStorageCorpus).entryList(QDir::Files);
    QVERIFY2(names.size() >= 12, qPrintable(kStorageCorpus));
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    for (const QString& name : names) {
        QFile f(kStorageCorpus + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        if (!fuzzStorage(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()),
                         scratch.path()))
            QFAIL(qPrintable(name));
    }
}

QTEST_APPLESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
