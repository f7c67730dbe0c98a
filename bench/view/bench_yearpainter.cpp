// Full-year paints by CYearPainter against the literal painting order, in the same run, at three surfaces:
// a 1920x1080 screen, a 3840x2160 screen, and 1920x1080 logical pixels at device pixel ratio 2 (a HiDPI
// laptop). Targets: the worst case (100 projects) at 4K and at DPR 2 within 4 ms and at least 5x faster
// than the literal order; the empty year at 4K within 1.5x clearing the image (BM_EmptyYearOverClear); a year
// step at 4K (save, load, paint) within one 60 Hz frame. Year files go to $TOLVA_BENCH_DIR if set, else
// the system temp folder.
#include "Calendar.h"
#include "DataStore.h"
#include "LiteralYearPainter.h"
#include "PaintResources.h"
#include "SampleYears.h"
#include "YearPainter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

struct Surface
{
    QSize logical;
    qreal ratio;
};

const Surface kFullHd{QSize(1920, 1080), 1};
const Surface kHiDpi{QSize(1920, 1080), 2};
const Surface k4K{QSize(3840, 2160), 1};

QImage surfaceImage(const Surface& surface)
{
    QImage image(surface.logical * surface.ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(surface.ratio);
    return image;
}

struct Scene
{
    YearData year;
    PaintResources resources;
    QSize extent;
    QImage image;

    Scene(YearData data, const Surface& surface)
        : year(std::move(data)), resources(year.m_settings), extent(surface.logical),
          image(surfaceImage(surface))
    {
    }
};

using PaintFn = void (*)(QPainter&, Scene&);

void paintFast(QPainter& painter, Scene& scene)
{
    g_pYearPainter->PaintYear(painter, scene.extent, scene.year, scene.resources);
}

void paintLiteral(QPainter& painter, Scene& scene)
{
    paintYearLiterally(painter, scene.extent, scene.year, scene.resources);
}

// One full-year paint per iteration, of `sample` by `paint`.
void BM_PaintYear(benchmark::State& state, YearData (*sample)(int), PaintFn paint, Surface surface)
{
    Scene scene(sample(2024), surface);
    for (auto _ : state) {
        state.PauseTiming(); // clearing the surface is the window's business, not the painter's
        scene.image.fill(Qt::white);
        state.ResumeTiming();
        QPainter painter(&scene.image);
        paint(painter, scene);
    }
    benchmark::DoNotOptimize(scene.image.constBits());
}

// For scale: what clearing the surface costs.
void BM_ClearImage(benchmark::State& state, Surface surface)
{
    QImage image = surfaceImage(surface);
    for (auto _ : state)
        image.fill(Qt::white);
    benchmark::DoNotOptimize(image.constBits());
}

// The empty year against clearing its surface, in turns within each iteration, so that the machine's drift
// (±15 % here from run to run) falls on both alike. The time is the paint's; the counter overClear is the
// paint over the clear, the figure the target is about.
void BM_EmptyYearOverClear(benchmark::State& state, Surface surface)
{
    using Clock = std::chrono::steady_clock;
    Scene scene(sampleEmptyYear(2024), surface);
    std::chrono::duration<double> clearing{};
    std::chrono::duration<double> painting{};
    for (auto _ : state) {
        const auto start = Clock::now();
        scene.image.fill(Qt::white);
        const auto cleared = Clock::now();
        {
            QPainter painter(&scene.image);
            paintFast(painter, scene);
        }
        const auto painted = Clock::now();
        clearing += cleared - start;
        painting += painted - cleared;
        state.SetIterationTime(std::chrono::duration<double>(painted - cleared).count());
    }
    benchmark::DoNotOptimize(scene.image.constBits());
    state.counters["overClear"] = painting / clearing;
}

// Year + on a full year at 4K, as one frame: save the shown year, load the next, clear and paint it.
void BM_YearStep(benchmark::State& state, Surface surface)
{
    const QTemporaryDir dir(qEnvironmentVariable("TOLVA_BENCH_DIR", QDir::tempPath()) +
                            "/tolva-bench-XXXXXX");
    DataStore store;
    store.CaptureWorkDir(dir.path());
    const DisplaySettings defaults = sampleEmptyYear(2024).m_settings;
    for (const int year : {2024, 2025}) {
        YearData data = sampleFullYear(year);
        store.LoadSaveYear(false, data, defaults);
    }
    Scene scene(sampleFullYear(2024), surface);
    for (auto _ : state) {
        if (!store.LoadSaveYear(false, scene.year, defaults).ok()) {
            state.SkipWithError("save failed");
            break;
        }
        const int next = scene.year.year() == 2024 ? 2025 : 2024;
        scene.year.m_settings.m_stSelected.wYear = std::uint16_t(next);
        if (!store.LoadSaveYear(true, scene.year, defaults).ok()) {
            state.SkipWithError("load failed");
            break;
        }
        scene.image.fill(Qt::white);
        QPainter painter(&scene.image);
        paintFast(painter, scene);
    }
    benchmark::DoNotOptimize(scene.image.constBits());
}

// One pointer move: the hit test and the text, over a different spot each time (project slots, markers,
// day numbers) of the full year.
void BM_FullYear_StatusText(benchmark::State& state)
{
    const YearData year = sampleFullYear(2024);
    const CYearPainter painter;
    int i = 0;
    for (auto _ : state) {
        const QPoint pos(16 + (i * 37) % 1888, 51 + (i * 13) % 1010);
        benchmark::DoNotOptimize(painter.StatusText(kFullHd.logical, year, pos));
        ++i;
    }
}

#define TOLVA_PAINT_BENCHMARKS(name, surface)                                                                \
    BENCHMARK_CAPTURE(BM_PaintYear, EmptyYear_Painter_##name, sampleEmptyYear, paintFast, surface)           \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(BM_PaintYear, EmptyYear_Literal_##name, sampleEmptyYear, paintLiteral, surface)        \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(BM_PaintYear, FullYear_Painter_##name, sampleFullYear, paintFast, surface)             \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(BM_PaintYear, FullYear_Literal_##name, sampleFullYear, paintLiteral, surface)          \
        ->Unit(benchmark::kMillisecond);                                                                     \
    BENCHMARK_CAPTURE(BM_ClearImage, name, surface)->Unit(benchmark::kMillisecond)

TOLVA_PAINT_BENCHMARKS(1920x1080, kFullHd);
TOLVA_PAINT_BENCHMARKS(1920x1080_dpr2, kHiDpi);
TOLVA_PAINT_BENCHMARKS(3840x2160, k4K);
BENCHMARK_CAPTURE(BM_EmptyYearOverClear, 3840x2160, k4K)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_YearStep, 3840x2160, k4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullYear_StatusText)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
