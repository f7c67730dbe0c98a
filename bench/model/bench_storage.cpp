// Year load and save against the raw file operations on the same bytes, in the same run. Target: each of
// ours within 2x of its raw counterpart. Files go to $TOLVA_BENCH_DIR if set, else the system temp folder.
// Loads report their heap allocations per iteration (counter "allocs": malloc, calloc and realloc calls).
#include "Calendar.h"
#include "DataStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<long long> s_allocations{0};

} // namespace

// Qt's containers take their memory from malloc, not operator new, so malloc itself is counted: glibc's
// own entry points do the work.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size)
{
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size)
{
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

void free(void* p)
{
    __libc_free(p);
}
}

namespace {

YearData makeYear(bool rich)
{
    YearData y;
    y.reset();
    y.m_settings = DisplaySettings::builtInDefaults(Calendar::makeDate(2011, 6, 15));
    if (!rich)
        return y;
    const QByteArray text(100, 'm');
    for (int p = 0; p < 100; ++p) {
        ProjectRecord r{};
        r.m_stStart = Calendar::makeDate(2011, 1 + p % 12, 1);
        r.m_stEnd = Calendar::makeDate(2011, 1 + p % 12, 28);
        y.m_projects.append(r);
        y.m_names.append(QByteArray("Project ") + QByteArray::number(p));
    }
    for (int d = 1; d <= 365; ++d) {
        y.m_dayMarks.at(d).m_bChecked[d % 100] = 1;
        y.m_alarms.at(d).m_bOn = 1;
        y.m_alarms.at(d).m_stWhen = Calendar::makeDate(2011, 1, 1);
        y.m_memos.setAt(d, text);
        y.m_alarmTexts.setAt(d, text);
        y.m_redTexts.setAt(d, text);
    }
    return y;
}

struct Setup
{
    QTemporaryDir dir{qEnvironmentVariable("TOLVA_BENCH_DIR", QDir::tempPath()) + "/tolva-bench-XXXXXX"};
    DataStore store;
    DisplaySettings defaults = DisplaySettings::builtInDefaults(Calendar::makeDate(2011, 6, 15));
    YearData years[2] = {makeYear(false), makeYear(true)};
    QByteArray bytes[2];

    Setup()
    {
        store.CaptureWorkDir(dir.path());
        for (int i = 0; i < 2; ++i) {
            years[i].m_settings.m_stSelected.wYear = std::uint16_t(2011 + i);
            bytes[i] = YearFileCodec::encode(years[i]);
            store.saveYear(years[i]);
        }
    }
    QByteArray path(int i, const char* suffix = "") const
    {
        return QFile::encodeName(store.yearPath(2011 + i)) + suffix;
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

void label(benchmark::State& state, int i)
{
    state.SetLabel(i ? "rich year" : "empty year");
    state.SetBytesProcessed(state.iterations() * setup().bytes[i].size());
}

void BM_LoadYear(benchmark::State& state)
{
    const int i = int(state.range(0));
    Setup& s = setup();
    YearData y;
    long long allocations = 0;
    for (auto _ : state) {
        y.m_settings.m_stSelected.wYear = std::uint16_t(2011 + i);
        const long long before = s_allocations.load(std::memory_order_relaxed);
        const StoreResult r = s.store.loadYear(y, s.defaults);
        allocations += s_allocations.load(std::memory_order_relaxed) - before;
        if (!r.ok())
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(y);
    }
    label(state, i);
    state.counters["allocs"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}

void BM_RawRead(benchmark::State& state)
{
    const int i = int(state.range(0));
    const QByteArray path = setup().path(i);
    std::vector<char> buffer;
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        struct stat st
        {
        };
        ::fstat(fd, &st);
        buffer.resize(std::size_t(st.st_size));
        if (::read(fd, buffer.data(), buffer.size()) != st.st_size)
            state.SkipWithError("short read");
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
    }
    label(state, i);
}

void BM_SaveYear(benchmark::State& state)
{
    const int i = int(state.range(0));
    Setup& s = setup();
    for (auto _ : state) {
        const StoreResult r = s.store.saveYear(s.years[i]);
        if (!r.ok())
            state.SkipWithError("save failed");
    }
    label(state, i);
}

// Write a temporary file, fsync it, rename it over the file; with Arg 1, fsync the folder too, as our
// save does.
void BM_RawWriteFsyncRename(benchmark::State& state)
{
    const int i = int(state.range(0));
    const bool syncFolder = state.range(1) != 0;
    Setup& s = setup();
    const QByteArray path = s.path(i, ".raw");
    const QByteArray temp = s.path(i, ".raw.tmp");
    const QByteArray folder = QFile::encodeName(s.store.yearsDir());
    for (auto _ : state) {
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (::write(fd, s.bytes[i].constData(), std::size_t(s.bytes[i].size())) != s.bytes[i].size())
            state.SkipWithError("short write");
        ::fsync(fd);
        ::close(fd);
        std::rename(temp.constData(), path.constData());
        if (syncFolder) {
            const int dfd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::fsync(dfd);
            ::close(dfd);
        }
    }
    label(state, i);
}

} // namespace

BENCHMARK(BM_LoadYear)->Arg(0)->Arg(1);
BENCHMARK(BM_RawRead)->Arg(0)->Arg(1);
BENCHMARK(BM_SaveYear)->Arg(0)->Arg(1);
BENCHMARK(BM_RawWriteFsyncRename)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1});

BENCHMARK_MAIN();
