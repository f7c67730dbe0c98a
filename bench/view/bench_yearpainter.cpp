#include "LiteralYearPainter.h"
#include "PaintResources.h"
#include "SampleYears.h"
#include "YearPainter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

const QSize kScreen(1920, 1080);

struct Scene
{
    YearData year;
    PaintResources resources;
    QImage image;

    explicit Scene(YearData data)
        : year(std::move(data)), resources(year.m_settings), image(kScreen, QImage::Format_RGB32)
    {
    }
};

using PaintFn = void (*)(QPainter&, Scene&);

void paintFast(QPainter& painter, Scene& scene)
{
    CYearPainter().PaintYear(painter, kScreen, scene.year, scene.resources);
}

void paintLiteral(QPainter& painter, Scene& scene)
{
    paintYearLiterally(painter, kScreen, scene.year, scene.resources);
}

// One full-year paint per iteration, of `sample` by `paint`.
void BM_PaintYear(benchmark::State& state, YearData (*sample)(int), PaintFn paint)
{
    Scene scene(sample(2024));
    for (auto _ : state) {
        state.PauseTiming(); // clearing 8 MB is the window's business, not the painter's
        scene.image.fill(Qt::white);
        state.ResumeTiming();
        QPainter painter(&scene.image);
        paint(painter, scene);
    }
    benchmark::DoNotOptimize(scene.image.constBits());
}

// For scale: what clearing the image costs.
void BM_ClearImage(benchmark::State& state)
{
    QImage image(kScreen, QImage::Format_RGB32);
    for (auto _ : state)
        image.fill(Qt::white);
    benchmark::DoNotOptimize(image.constBits());
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
        benchmark::DoNotOptimize(painter.StatusText(kScreen, year, pos));
        ++i;
    }
}

BENCHMARK_CAPTURE(BM_PaintYear, EmptyYear_Painter, sampleEmptyYear, paintFast)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PaintYear, EmptyYear_Literal, sampleEmptyYear, paintLiteral)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PaintYear, FullYear_Painter, sampleFullYear, paintFast)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PaintYear, FullYear_Literal, sampleFullYear, paintLiteral)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearImage)->Unit(benchmark::kMillisecond);
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
