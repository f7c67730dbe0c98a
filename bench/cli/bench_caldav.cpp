// publish and sync of a full year (100 projects, a memo on every day, alarms) to a Radicale on 127.0.0.1
// (started here, as in the tests): the first publish into an empty calendar and a sync of 10 edits (5 in
// the year, 5 on the server by python3-caldav), each with 1 and with 6 connections; and a publish with
// nothing changed. The counter "requests" is what each one sends; the aim for the no-change publish is one
// listing and nothing else, in under 0.5 s.
#include "CliRunner.h"
#include "DataStore.h"
#include "ForeverRedDays.h"
#include "ProjectList.h"
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

// The year of a busy user: the rich sample's settings and alarms, 100 projects, a memo on every day.
YearData fullYear(int edit = 0)
{
    YearData year = sampleRichYear(kYear);
    for (int m = 1; m <= 12; m += 2)
        year.m_alarms.at(Calendar::dayOfYear(kYear, m, 5 + m)).m_bOn = 1;
    ProjectList projects(year.m_projects, year.m_names, year.m_dayMarks);
    while (projects.count() > 0)
        projects.remove(projects.count() - 1);
    for (int i = 0; i < 100; ++i) {
        ProjectRecord p{};
        p.m_bLongLine = 1;
        p.m_stStart = Calendar::makeDate(kYear, 1 + i % 12, 1 + i % 20);
        p.m_stEnd = Calendar::makeDate(kYear, 1 + i % 12, 5 + i % 20);
        p.m_stEnd.wHour = 23;
        p.m_crColor = makeColorRef(i * 2, 255 - i * 2, 128);
        projects.append(p, QByteArray("Project ") + QByteArray::number(i));
    }
    for (int n = 1; n <= 365; ++n)
        year.m_memos.setAt(n, QByteArray("Memo of day ") + QByteArray::number(n));
    // 5 memos of the year edited, differently in each round.
    for (int n = 1; n <= 5; ++n)
        if (edit > 0)
            year.m_memos.setAt(n, QByteArray("Edited here, round ") + QByteArray::number(edit));
    return year;
}

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
        return store.CaptureWorkDir(s.dir.path()).ok() && store.saveYear(fullYear()).ok();
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

// Runs publish (or sync) in-process with that many connections; returns how many requests it sent.
int publish(const QString& url, int connections = 6, const char* command = "publish")
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = CliRunner(o, e).run(
        {QStringLiteral("tolva-cli"), QStringLiteral("--dir"), setup().dir.path(), QLatin1String(command),
         QString::number(kYear), QStringLiteral("--url"), url, QStringLiteral("--user"),
         QLatin1String(RadicaleServer::kUser), QStringLiteral("--connections"), QString::number(connections),
         QStringLiteral("--verbose")});
    e.flush();
    if (status != 0) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        std::abort();
    }
    static const QRegularExpression request(QStringLiteral("^(PROPFIND|REPORT|PUT|DELETE) "),
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
        requests = publish(url, int(state.range(0)));
    }
    state.counters["requests"] = requests;
}
BENCHMARK(BM_PublishFirst)
    ->ArgName("connections")
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// 5 memos edited on the server by python3-caldav, as a phone would.
void editOnServer(const QString& url, int round)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import caldav,sys,icalendar\n"
                            "c=caldav.DAVClient(sys.argv[1],username=sys.argv[2],password=sys.argv[3])\n"
                            "cal=caldav.Calendar(client=c,url=sys.argv[4])\n"
                            "for d in range(10,15):\n"
                            "  e=cal.event_by_uid('%1-01-%02d-memo@tolva'%d)\n"
                            "  i=icalendar.Calendar.from_ical(e.data)\n"
                            "  for v in i.walk('VEVENT'):\n"
                            "    v['DESCRIPTION']='Edited on the phone, round '+sys.argv[5]\n"
                            "  e.data=i.to_ical().decode(); e.save()\n")
                 .arg(kYear),
             setup().server.baseUrl(), QLatin1String(RadicaleServer::kUser),
             QLatin1String(RadicaleServer::kPassword), url, QString::number(round)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s\n", p.readAllStandardError().constData());
        std::abort();
    }
}

void BM_SyncTenEdits(benchmark::State& state)
{
    removeState();
    DataStore store;
    if (!store.CaptureWorkDir(setup().dir.path()).ok() || !store.saveYear(fullYear()).ok())
        std::abort();
    const QString url = newCalendar();
    publish(url, 6, "sync");
    int requests = 0, round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        if (!store.saveYear(fullYear(round)).ok())
            std::abort();
        editOnServer(url, round);
        state.ResumeTiming();
        requests = publish(url, int(state.range(0)), "sync");
    }
    state.counters["requests"] = requests;
}
BENCHMARK(BM_SyncTenEdits)
    ->ArgName("connections")
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

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
