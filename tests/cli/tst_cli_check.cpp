#include "CliFixture.h"

#include <QTemporaryDir>
#include <QTest>

using namespace CliFixture;

class TestCliCheck : public QObject
{
    Q_OBJECT

private slots:
    void checkReportsEachCorpusFile_data();
    void checkReportsEachCorpusFile();
    void checkReadsAFolderOfManyKinds();
    void checkOfAMissingFolderFailsWithoutCreatingIt();
};

void TestCliCheck::checkReportsEachCorpusFile_data()
{
    QTest::addColumn<QString>("corpus");
    QTest::addColumn<QString>("storedAs");
    QTest::addColumn<bool>("sound");
    // A damaged file is told with the byte offset where reading stopped; entries that name no date have
    // no single offset, and are counted instead.
    // The foundation's corpus with the outcome it expects of each file.
    QTest::newRow("empty year") << "year-empty.year"
                                << "2011.year" << true;
    QTest::newRow("rich year") << "year-rich.year"
                               << "2011.year" << true;
    QTest::newRow("two settings records") << "year-two-settings.year"
                                          << "2011.year" << true;
    QTest::newRow("zero-length year") << "zero-length.year"
                                      << "2011.year" << true;
    QTest::newRow("truncated year") << "year-truncated.year"
                                    << "2011.year" << false;
    QTest::newRow("settings count 0") << "year-settings-count-0.year"
                                      << "2011.year" << false;
    QTest::newRow("hostile day-mark count") << "year-hostile-daymark-count.year"
                                            << "2011.year" << false;
    QTest::newRow("hostile text length") << "year-hostile-text-length.year"
                                         << "2011.year" << false;
    QTest::newRow("defaults") << "defaults.year"
                              << "YearDefaults.year" << true;
    QTest::newRow("defaults cut") << "defaults-cut.year"
                                  << "YearDefaults.year" << false;
    QTest::newRow("zero-length defaults") << "zero-length.year"
                                          << "YearDefaults.year" << false;
    QTest::newRow("no every-year days") << "foreverreddays-empty.year"
                                        << "ForeverRedDays.year" << true;
    QTest::newRow("every-year days") << "foreverreddays.year"
                                     << "ForeverRedDays.year" << true;
    QTest::newRow("every-year texts missing") << "foreverreddays-fewer-texts.year"
                                              << "ForeverRedDays.year" << false;
}

// Why: check is how a user learns that a file is damaged before the planner loads its readable part; the
// damaged and hostile files of the storage tests must each be reported, by the real program, uncrashed.
void TestCliCheck::checkReportsEachCorpusFile()
{
    QFETCH(QString, corpus);
    QFETCH(QString, storedAs);
    QFETCH(bool, sound);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("YEARS"));
    QVERIFY(QFile::copy(QStringLiteral(TOLVA_FUZZ_CORPUS) + "/" + corpus, dir.path() + "/YEARS/" + storedAs));
    const QByteArray bytes = fileBytes(dir.path() + "/YEARS/" + storedAs);

    const Run r = runProgram({"check", "--dir", dir.path()});
    QCOMPARE(r.status, sound ? 0 : 1);
    if (sound) {
        QCOMPARE(r.out, storedAs + ": sound\n");
        QCOMPARE(r.err, QString());
    } else {
        const bool counted = corpus == "foreverreddays-fewer-texts.year";
        QVERIFY2(r.out.startsWith(storedAs + (counted ? ": damaged: 2 of 3 entries" : ": damaged: at byte ")),
                 qPrintable(r.out));
        QCOMPARE(r.err.count('\n'), 1);
    }
    // Read-only: no damaged copy, nothing else.
    QCOMPARE(folderEntries(dir.path() + "/YEARS"), QStringList{storedAs});
    QCOMPARE(fileBytes(dir.path() + "/YEARS/" + storedAs), bytes);
}

// Why: a real folder holds several years, copies the planner and the import made, and files that are no
// files at all; each gets its own line and one damaged file fails the whole check.
void TestCliCheck::checkReadsAFolderOfManyKinds()
{
    QTemporaryDir dir;
    writeFolder(dir.path(), richYear(2026), everyYearDays(2026));
    const QString years = dir.path() + "/YEARS";
    QVERIFY(QFile::copy(years + "/2026.year", years + "/2027.year"));
    QVERIFY(QFile(years + "/2027.year").resize(1000));
    QVERIFY(QFile::copy(years + "/2026.year", years + "/2026.year.before-import"));
    QVERIFY(QDir(years).mkdir("2028.year"));
    // Larger than any data file can be: reported without being read whole.
    QFile huge(years + "/2029.year");
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(64) << 20));
    huge.close();

    const Run r = runInProcess({"--dir", dir.path(), "check"});
    QCOMPARE(r.status, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.at(0), QStringLiteral("2026.year: sound"));
    QCOMPARE(lines.at(1), QStringLiteral("2026.year.before-import: not a data file, not read"));
    QVERIFY2(lines.at(2).startsWith("2027.year: damaged: at byte "), qPrintable(lines.at(2)));
    QVERIFY2(lines.at(3).startsWith("2028.year: damaged: "), qPrintable(lines.at(3)));
    QVERIFY2(lines.at(4).startsWith("2029.year: damaged: "), qPrintable(lines.at(4)));
    QCOMPARE(lines.at(5), QStringLiteral("ForeverRedDays.year: sound"));
    QVERIFY2(r.err.contains("3 of the files"), qPrintable(r.err));
    QCOMPARE(QFileInfo(years + "/2029.year").size(), qint64(64) << 20);
}

// Why: a mistyped --dir must say so, not report an empty folder as sound, and must not create one.
void TestCliCheck::checkOfAMissingFolderFailsWithoutCreatingIt()
{
    QTemporaryDir dir;
    const Run r = runInProcess({"--dir", dir.path(), "check"});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("does not exist"));
    QVERIFY(!QFileInfo::exists(dir.path() + "/YEARS"));
}

QTEST_MAIN(TestCliCheck)
#include "tst_cli_check.moc"
