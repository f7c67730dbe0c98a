// The shell's figures, side by side in one run:
// - process start to the first painted year window, against a bare QMainWindow program started and
//   measured the same way (target: at most 1.3x);
// - resident memory at that moment, against the same bare program (target: at most 5 MB more);
// - printing a year to a PDF file at 1200 dpi.
// Child processes run on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "Clock.h"
#include "DataStore.h"
#include "SampleYears.h"
#include "TolvaView.h"
#include "YearPrinter.h"
#include "YearRegistry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct Clock2011 final : Clock
{
    SYSTEMTIME nowLocal() const override { return Calendar::makeDate(2011, 3, 15); }
};

struct FirstPaint
{
    double seconds = -1; // from the start to the line
    double residentKb = -1;
    double cpuSeconds = -1;
};

// Starts `program` in `workDir` and waits for its "painted <kB> <CPU ns>" line.
FirstPaint startToFirstPaint(const QString& program, const QString& workDir)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), workDir);
    // The fonts' sizes are found at the first start and remembered for the others, as for a user.
    env.insert(QStringLiteral("XDG_CACHE_HOME"), workDir);
    // The planner loads it after its first paint, as the installed one does.
    env.insert(QStringLiteral("TOLVA_SYNC_MODULE"), QStringLiteral(BENCH_SYNC_MODULE));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    QByteArray line;
    while (!line.startsWith("painted") && process.waitForReadyRead(30000))
        line = process.readLine().trimmed();
    const double seconds = timer.nsecsElapsed() * 1e-9;
    process.terminate();
    process.waitForFinished(30000);
    if (!line.startsWith("painted"))
        return {};
    const QList<QByteArray> fields = line.split(' ');
    return {seconds, fields.value(1).toDouble(), fields.value(2).toDouble() * 1e-9};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The planner and the bare program started in turns, so that the load of the machine weighs on both
// alike; each iteration is one start of each. The time reported is the planner's; the counters give both
// medians and their ratio, the same for the CPU time the processes used (steadier on a busy machine), and
// the resident memory of both at their first paint.
void BM_StartToFirstPaint(benchmark::State& state)
{
    QTemporaryDir tolvaDir;
    QTemporaryDir bareDir;
    std::vector<double> tolva, bare, tolvaCpu, bareCpu, tolvaRss, bareRss;
    for (auto _ : state) {
        const FirstPaint b = startToFirstPaint(QStringLiteral(BENCH_STARTUP_BARE), bareDir.path());
        const FirstPaint t = startToFirstPaint(QStringLiteral(BENCH_STARTUP_TOLVA), tolvaDir.path());
        if (b.seconds < 0 || t.seconds < 0) {
            state.SkipWithError("a program did not report its first paint");
            return;
        }
        state.SetIterationTime(t.seconds);
        tolva.push_back(t.seconds);
        bare.push_back(b.seconds);
        tolvaCpu.push_back(t.cpuSeconds);
        bareCpu.push_back(b.cpuSeconds);
        tolvaRss.push_back(t.residentKb);
        bareRss.push_back(b.residentKb);
    }
    state.counters["tolva_ms"] = median(tolva) * 1e3;
    state.counters["bare_ms"] = median(bare) * 1e3;
    state.counters["ratio"] = median(tolva) / median(bare);
    state.counters["tolva_cpu_ms"] = median(tolvaCpu) * 1e3;
    state.counters["bare_cpu_ms"] = median(bareCpu) * 1e3;
    state.counters["cpu_ratio"] = median(tolvaCpu) / median(bareCpu);
    state.counters["tolva_rss_MB"] = median(tolvaRss) / 1024.0;
    state.counters["bare_rss_MB"] = median(bareRss) / 1024.0;
    state.counters["extra_rss_MB"] = (median(tolvaRss) - median(bareRss)) / 1024.0;
}
BENCHMARK(BM_StartToFirstPaint)->UseManualTime()->Iterations(60)->Unit(benchmark::kMillisecond);

// A rich year printed on A4 at 1200 dpi through the same path as File > Print to a PDF file.
void BM_PrintYearPdf1200(benchmark::State& state)
{
    QTemporaryDir dir;
    DataStore store;
    store.CaptureWorkDir(dir.path());
    store.saveYear(sampleRichYear(2011));
    Clock2011 clock;
    YearRegistry registry(store, DisplaySettings::builtInDefaults(Calendar::makeDate(2011, 3, 15)));
    auto view = std::make_unique<CTolvaView>(registry, clock);
    view->resize(1200, 800);
    view->OnInitialUpdate();
    const QString pdf = dir.filePath(QStringLiteral("year.pdf"));
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(1200);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Landscape);
        if (!YearPrinter::print(*view, printer, QSizeF(96, 96))) {
            state.SkipWithError("printing failed");
            return;
        }
    }
    state.counters["pdf_kB"] = QFileInfo(pdf).size() / 1024.0;
    view.reset();
}
BENCHMARK(BM_PrintYearPdf1200)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
