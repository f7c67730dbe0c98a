// publish of a rich year to a Radicale on 127.0.0.1 (started here, as in the tests): the first publish into
// an empty calendar, and a publish with nothing changed. The counter "requests" is what each one sends;
// the aim for the second is one listing and nothing else, in under 0.5 s.
#include "CliRunner.h"
#include "DataStore.h"
#include "ForeverRedDays.h"
#include "PublishState.h"
#include "RadicaleServer.h"
#include "SampleYears.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kYear = 2026;

struct Setup
{
    RadicaleServer server;
    QTemporaryDir dir;
    int calendars = 0;
};

Setup& setup()
{
    static Setup s;
    static const bool ready = [] {
        QString error;
        if (!s.server.start(error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        qputenv("TOLVA_CALDAV_PASSWORD", RadicaleServer::kPassword);
        qputenv("HOME", QFile::encodeName(s.dir.path()));
        DataStore store;
        YearData year = sampleRichYear(kYear);
        for (int m = 1; m <= 12; m += 2)
            year.m_alarms.at(Calendar::dayOfYear(kYear, m, 5 + m)).m_bOn = 1;
        return store.CaptureWorkDir(s.dir.path()).ok() && store.saveYear(year).ok();
    }();
    if (!ready)
        std::abort();
    return s;
}

// A new, empty calendar on the server; its URL.
QString newCalendar()
{
    Setup& s = setup();
    const QString name = QStringLiteral("bench-%1").arg(++s.calendars);
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import caldav,sys\n"
                            "c=caldav.DAVClient(sys.argv[1],username=sys.argv[2],password=sys.argv[3])\n"
                            "c.principal().make_calendar(name=sys.argv[4],cal_id=sys.argv[4])\n"),
             s.server.baseUrl(), QLatin1String(RadicaleServer::kUser),
             QLatin1String(RadicaleServer::kPassword), name});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        std::abort();
    return s.server.calendarUrl(name);
}

// Runs publish in-process; returns how many requests it sent.
int publish(const QString& url)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = CliRunner(o, e).run(
        {QStringLiteral("tolva-cli"), QStringLiteral("--dir"), setup().dir.path(), QStringLiteral("publish"),
         QString::number(kYear), QStringLiteral("--url"), url, QStringLiteral("--user"),
         QLatin1String(RadicaleServer::kUser), QStringLiteral("--verbose")});
    e.flush();
    if (status != 0) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        std::abort();
    }
    static const QRegularExpression request(QStringLiteral("^(PROPFIND|PUT|DELETE) "),
                                            QRegularExpression::MultilineOption);
    int n = 0;
    for (auto it = request.globalMatch(err); it.hasNext(); it.next())
        ++n;
    return n;
}

void removeState()
{
    QFile::remove(
        QDir(setup().dir.filePath(QStringLiteral("YEARS"))).filePath(PublishState::fileName(kYear)));
}

void BM_PublishFirst(benchmark::State& state)
{
    int requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        removeState();
        const QString url = newCalendar();
        state.ResumeTiming();
        requests = publish(url);
    }
    state.counters["requests"] = requests;
}
BENCHMARK(BM_PublishFirst)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_PublishNoChange(benchmark::State& state)
{
    removeState();
    const QString url = newCalendar();
    publish(url);
    int requests = 0;
    for (auto _ : state)
        requests = publish(url);
    state.counters["requests"] = requests;
}
BENCHMARK(BM_PublishNoChange)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
