#include "CliRunner.h"
#include "DataStore.h"
#include "ForeverRedDays.h"
#include "SampleYears.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// One rich year and two every-year red days in a folder of their own, for every benchmark.
const QString& folder()
{
    static QTemporaryDir dir;
    static const bool written = [] {
        DataStore store;
        YearData year = sampleRichYear(2026);
        for (int m = 1; m <= 12; m += 2)
            year.m_alarms.at(Calendar::dayOfYear(2026, m, 5 + m)).m_bOn = 1;
        ForeverRedDays everyYear;
        RedDayRecord r{};
        r.m_bEveryYear = 1;
        r.m_stDate = Calendar::makeDate(2026, 1, 1);
        everyYear.m_foreverRedDays.append(r);
        everyYear.m_foreverRedTexts.append("New Year");
        return store.CaptureWorkDir(dir.path()).ok() && store.saveYear(year).ok() &&
               store.saveForeverRedDays(everyYear).ok();
    }();
    if (!written)
        std::abort();
    static const QString path = dir.path();
    return path;
}

void runCommand(benchmark::State& state, const QStringList& args)
{
    const QStringList arguments = QStringList{"tolva-cli", "--dir", folder()} + args;
    for (auto _ : state) {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        if (CliRunner(outStream, errStream).run(arguments) != 0)
            state.SkipWithError("command failed");
        outStream.flush();
        benchmark::DoNotOptimize(out);
    }
}

} // namespace

BENCHMARK_CAPTURE(runCommand, dump, QStringList{"dump", "2026"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runCommand, export_ics, QStringList{"export-ics", "2026"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runCommand, render_png, QStringList{"render", "2026", "-o", folder() + "/year.png"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runCommand, render_pdf, QStringList{"render", "2026", "-o", folder() + "/year.pdf"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runCommand, render_svg, QStringList{"render", "2026", "-o", folder() + "/year.svg"})
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
