// Find as the user types, over a folder of 50 full years (100 projects, a 100-character memo, alarm and
// red-day text on every day: 170 KB each). Target: every search, the first one included, within 100 ms.
// Files go to $TOLVA_BENCH_DIR if set, else the system temp folder.
#include "DataStore.h"
#include "SampleYears.h"
#include "YearSearch.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kYears = 50;

QByteArray text(const char* kind, int year, int day)
{
    QByteArray t = QByteArray(kind) + ' ' + QByteArray::number(year) + '/' + QByteArray::number(day) + ' ';
    if (day % 30 == 0)
        t += "dentist ";
    while (t.size() < 100)
        t += "lorem ipsum ";
    return t.left(100);
}

// One folder for the whole run.
const QString& folder()
{
    static std::unique_ptr<QTemporaryDir> dir;
    if (!dir) {
        const QByteArray base = qgetenv("TOLVA_BENCH_DIR");
        dir = base.isEmpty() ? std::make_unique<QTemporaryDir>()
                             : std::make_unique<QTemporaryDir>(QString::fromLocal8Bit(base) + "/find-XXXXXX");
        DataStore store;
        store.CaptureWorkDir(dir->path());
        for (int y = 2000; y < 2000 + kYears; ++y) {
            YearData year = sampleFullYear(y);
            for (int d = 1; d <= 366; ++d) {
                year.m_memos.setAt(d, text("memo", y, d));
                year.m_alarmTexts.setAt(d, text("alarm", y, d));
                year.m_redTexts.setAt(d, text("red", y, d));
            }
            store.saveYear(year);
        }
    }
    static const QString years = dir->path() + QStringLiteral("/YEARS");
    return years;
}

// The first search when Find opens: every file read.
void BM_FindFirstSearch(benchmark::State& state)
{
    const QString& dir = folder();
    qsizetype hits = 0;
    for (auto _ : state) {
        YearSearch search(dir);
        search.refresh();
        hits = search.find(QStringLiteral("dentist")).size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = double(hits);
}

// One keystroke: the folder looked at again (nothing changed), then the kept texts searched.
void BM_FindKeystroke(benchmark::State& state)
{
    YearSearch search(folder());
    search.refresh();
    const QString typed = QStringLiteral("dentist");
    int n = 0;
    for (auto _ : state) {
        search.refresh();
        benchmark::DoNotOptimize(search.find(typed.left(1 + n++ % typed.size())));
    }
}

} // namespace

BENCHMARK(BM_FindFirstSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindKeystroke)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
