// Find over a folder: every year file, by date, case ignored, damaged files as far as they read, and the
// folder left exactly as it was.

#include "Calendar.h"
#include "DataStore.h"
#include "YearData.h"
#include "YearSearch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

YearData yearWith(int year, const QList<std::pair<int, QByteArray>>& memos)
{
    YearData data;
    data.reset();
    data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
    for (const auto& [day, text] : memos)
        data.m_memos.setAt(day, text);
    return data;
}

// "2026-03-05 memo Dentist": what the dialog lists, one line per hit.
QStringList lines(const QList<FindHit>& hits)
{
    static const char* const kField[] = {"memo", "red", "alarm", "project"};
    QStringList out;
    for (const FindHit& h : hits)
        out.append(QStringLiteral("%1-%2-%3 %4 %5")
                       .arg(h.year)
                       .arg(h.month, 2, 10, QLatin1Char('0'))
                       .arg(h.day, 2, 10, QLatin1Char('0'))
                       .arg(QLatin1String(kField[int(h.field)]), h.text));
    return out;
}

QMap<QString, QByteArray> folderBytes(const QString& path)
{
    QMap<QString, QByteArray> bytes;
    for (const QFileInfo& f : QDir(path).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(f.filePath());
        file.open(QIODevice::ReadOnly);
        bytes.insert(f.fileName() + f.lastModified().toString(Qt::ISODateWithMs), file.readAll());
    }
    return bytes;
}

} // namespace

class TestYearSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void finds_data();
    void finds();
    void changedFilesAreReadAgain();

private:
    QTemporaryDir m_dir;
    DataStore m_store;
    YearSearch* m_search = nullptr;
};

void TestYearSearch::initTestCase()
{
    m_store.CaptureWorkDir(m_dir.path());
    YearData y2026 = yearWith(2026, {{64, "Dentist 9:00"}, {300, "call the DENTIST"}});
    y2026.m_redTexts.setAt(1, "New Year");
    y2026.m_alarmTexts.setAt(64, "dentist: bring the card");
    y2026.m_projects.append(ProjectRecord{1, 0, Calendar::makeDate(2026, 4, 2), {}, {}, 0});
    y2026.m_names.append("Dentist plan");
    QVERIFY(m_store.saveYear(y2026).ok());
    QVERIFY(m_store.saveYear(yearWith(2024, {{366, "dentist at year end"}})).ok());
    // A damaged year: cut in its alarm texts, after its memos were read.
    QVERIFY(m_store.saveYear(yearWith(2019, {{10, "dentist, cut short"}})).ok());
    QFile cut(m_store.yearPath(2019));
    QVERIFY(cut.resize(cut.size() - 400));
    // Neither year files nor their names: never searched.
    for (const char* other : {"02026.year", "YearDefaults.year", "2026.year.damaged", "notes.year"})
        QFile::copy(m_store.yearPath(2024), m_store.yearsDir() + QLatin1Char('/') + QLatin1String(other));
    const auto before = folderBytes(m_store.yearsDir());
    static YearSearch search(m_store.yearsDir());
    search.refresh();
    m_search = &search;
    QCOMPARE(folderBytes(m_store.yearsDir()), before);
    QCOMPARE(m_search->yearCount(), 3);
    QCOMPARE(m_search->damagedYears().size(), 1);
    QVERIFY(m_search->damagedYears().first().startsWith("2019: "));
}

void TestYearSearch::finds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    const QStringList dentist{
        "2019-01-10 memo dentist, cut short", "2024-12-31 memo dentist at year end",
        "2026-03-05 memo Dentist 9:00",       "2026-03-05 alarm dentist: bring the card",
        "2026-04-02 project Dentist plan",    "2026-10-27 memo call the DENTIST"};
    QTest::newRow("every year, by date, case ignored") << "dentist" << dentist;
    QTest::newRow("capitals typed") << "DENTIST" << dentist;
    QTest::newRow("red-day text") << "new y" << QStringList{"2026-01-01 red New Year"};
    QTest::newRow("inside a word") << "ring" << QStringList{"2026-03-05 alarm dentist: bring the card"};
    QTest::newRow("nothing typed") << "" << QStringList{};
    QTest::newRow("nowhere") << "plumber" << QStringList{};
}

void TestYearSearch::finds()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(lines(m_search->find(text)), expected);
}

// A save between two searches is seen by the next refresh; the unchanged years are not read again.
void TestYearSearch::changedFilesAreReadAgain()
{
    QVERIFY(m_store.saveYear(yearWith(2024, {{2, "plumber"}})).ok());
    QFile::remove(m_store.yearPath(2019));
    m_search->refresh();
    QCOMPARE(lines(m_search->find("plumber")), QStringList{"2024-01-02 memo plumber"});
    QCOMPARE(m_search->yearCount(), 2);
    QVERIFY(m_search->damagedYears().isEmpty());
}

QTEST_APPLESS_MAIN(TestYearSearch)
#include "tst_yearsearch.moc"
