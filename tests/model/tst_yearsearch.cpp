// Find over a folder: every year file, by date, case ignored, damaged files as far as they read, changed
// files read again, and the folder left exactly as it was.

#include "Calendar.h"
#include "DataStore.h"
#include "YearSearch.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

YearData yearWith(int year, int day, const QByteArray& memo)
{
    YearData data;
    data.reset();
    data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
    data.m_memos.setAt(day, memo);
    return data;
}

// "2026-03-05 alarm dentist: bring the card", as the dialog lists a hit.
QStringList lines(const QList<FindHit>& hits)
{
    static const char* const kField[] = {"memo", "red", "alarm", "project"};
    QStringList out;
    for (const FindHit& h : hits)
        out.append(QDate(h.year, h.month, h.day).toString(Qt::ISODate) + ' ' + kField[int(h.field)] + ' ' +
                   h.text);
    return out;
}

QStringList folderState(const QString& path)
{
    QStringList state;
    for (const QFileInfo& f : QDir(path).entryInfoList(QDir::Files | QDir::Hidden))
        state << f.fileName() << QString::number(f.size()) << f.lastModified().toString(Qt::ISODateWithMs);
    return state;
}

} // namespace

class TestYearSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void finds_data();
    void finds();

private:
    QTemporaryDir m_dir;
    DataStore m_store;
    std::unique_ptr<YearSearch> m_search;
};

void TestYearSearch::initTestCase()
{
    m_store.CaptureWorkDir(m_dir.path());
    YearData y2026 = yearWith(2026, 64, "Dentist 9:00");
    y2026.m_memos.setAt(300, "call the DENTIST");
    y2026.m_redTexts.setAt(1, "New Year");
    y2026.m_alarmTexts.setAt(64, "dentist: bring the card");
    y2026.m_projects.append(ProjectRecord{1, 0, Calendar::makeDate(2026, 4, 2), {}, {}, 0});
    y2026.m_names.append("Dentist plan");
    QVERIFY(m_store.saveYear(y2026).ok() &&
            m_store.saveYear(yearWith(2024, 366, "dentist at year end")).ok());
    // A damaged year, cut in its alarm texts after its memos.
    QVERIFY(m_store.saveYear(yearWith(2019, 10, "dentist, cut short")).ok());
    QFile cut(m_store.yearPath(2019));
    QVERIFY(cut.resize(cut.size() - 400));
    // Neither year files nor years' names: never searched.
    for (const char* other : {"02026.year", "YearDefaults.year", "2026.year.damaged", "notes.year"})
        QFile::copy(m_store.yearPath(2024), m_store.yearsDir() + '/' + other);
    const QStringList before = folderState(m_store.yearsDir());
    m_search = std::make_unique<YearSearch>(m_store.yearsDir());
    m_search->refresh();
    QCOMPARE(folderState(m_store.yearsDir()), before);
    QCOMPARE(m_search->yearCount(), 3);
    QCOMPARE(m_search->damagedYears().size(), 1);
    QVERIFY(m_search->damagedYears().first().startsWith("2019: "));
    // A file saved since the last look is read again at the next one.
    YearData y2024 = yearWith(2024, 366, "dentist at year end");
    y2024.m_memos.setAt(2, "plumber");
    QVERIFY(m_search->find("plumber").isEmpty() && m_store.saveYear(y2024).ok());
    m_search->refresh();
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
    QTest::newRow("red-day text, capitals") << "NEW Y" << QStringList{"2026-01-01 red New Year"};
    QTest::newRow("nothing typed") << "" << QStringList{};
    QTest::newRow("a year changed since") << "plumber" << QStringList{"2024-01-02 memo plumber"};
    QTest::newRow("nowhere") << "dentists" << QStringList{};
}

void TestYearSearch::finds()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(lines(m_search->find(text)), expected);
}

QTEST_APPLESS_MAIN(TestYearSearch)
#include "tst_yearsearch.moc"
