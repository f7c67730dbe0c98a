// publish and sync of a full year (100 projects, a memo on every day, alarms: 466 events) to a Radicale on
// 127.0.0.1 (started here, as in the tests): the first publish into an empty calendar, each with 1 and with
// 6 connections; a sync of 10 edits (5 in the year, 5 on the server by python3-caldav) and a sync with
// nothing changed, on the year's calendar alone and on one of 5,000 events (the others timed events of
// other clients, which the year leaves on the server), each with the sync token the last sync kept and
// without it; and a publish with nothing changed. The counters are what one run sends: requests, and the
// bytes of the request and reply bodies. The aim for the no-change sync of the year's calendar is under
// 0.1 s. The first publish runs once more through a proxy that adds 20 ms to each request, as to a server
// elsewhere, where several connections pay off.
#include "CalDavClient.h"
#include "CliRunner.h"
#include "DataStore.h"
#include "ForeverRedDays.h"
#include "ProjectList.h"
#include "PublishState.h"
#include "RadicaleServer.h"
#include "SampleYears.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kYear = 2026;
// The events export-ics makes of fullYear().
constexpr int kYearEvents = 466;

// The year of a busy user (sampleBusyYear), 5 of its memos edited differently in each round.
YearData fullYear(int edit = 0)
{
    YearData year = sampleBusyYear(kYear);
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
    // The same server 20 ms away: each request waits that long in a proxy first.
    QProcess proxy;
    quint16 proxyPort = 0;
    ~Setup()
    {
        proxy.kill();
        proxy.waitForFinished();
    }
};

constexpr int kLatencyMs = 20;

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
    if (s.server.peer(TOLVA_CALDAV_PEER, {QStringLiteral("make"), name}).startsWith(QLatin1String("failed")))
        std::abort();
    return s.server.calendarUrl(name);
}

// Runs publish (or sync) in-process with that many connections; returns what it sent and received.
CalDavClient::Traffic publish(const QString& url, int connections = 6, const char* command = "publish")
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const CalDavClient::Traffic before = CalDavClient::processTraffic();
    const int status =
        CliRunner(o, e).run({QStringLiteral("tolva-cli"), QStringLiteral("--dir"), setup().dir.path(),
                             QLatin1String(command), QString::number(kYear), QStringLiteral("--url"), url,
                             QStringLiteral("--user"), QLatin1String(RadicaleServer::kUser),
                             QStringLiteral("--connections"), QString::number(connections)});
    e.flush();
    if (status != 0) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        std::abort();
    }
    const CalDavClient::Traffic after = CalDavClient::processTraffic();
    return {after.requests - before.requests, after.bytesSent - before.bytesSent,
            after.bytesReceived - before.bytesReceived};
}

// The counters per run, over all runs.
void report(benchmark::State& state, const CalDavClient::Traffic& total)
{
    const auto perRun = [](qint64 n) {
        return benchmark::Counter(double(n), benchmark::Counter::kAvgIterations);
    };
    state.counters["requests"] = perRun(total.requests);
    state.counters["bytes_sent"] = perRun(total.bytesSent);
    state.counters["bytes_received"] = perRun(total.bytesReceived);
}

void add(CalDavClient::Traffic& total, const CalDavClient::Traffic& run)
{
    total.requests += run.requests;
    total.bytesSent += run.bytesSent;
    total.bytesReceived += run.bytesReceived;
}

// A new calendar with `others` timed events of other clients in it, put there in one PUT of a whole
// calendar to the collection, which Radicale takes as an import: far faster than one PUT per event.
QString filledCalendar(int others)
{
    const QString url = newCalendar();
    if (others <= 0)
        return url;
    QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//other client//EN\r\n";
    const QDate first(kYear, 1, 1);
    for (int n = 0; n < others; ++n)
        ics += QStringLiteral("BEGIN:VEVENT\r\nUID:other-%1@bench.example\r\nDTSTAMP:%2T000000Z\r\n"
                              "DTSTART:%3T%40000Z\r\nDURATION:PT1H\r\nSUMMARY:Meeting %1\r\nEND:VEVENT\r\n")
                   .arg(n)
                   .arg(first.toString(QStringLiteral("yyyyMMdd")),
                        first.addDays(n % 365).toString(QStringLiteral("yyyyMMdd")))
                   .arg(8 + n % 10, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    ics += "END:VCALENDAR\r\n";
    CalDavClient client(
        "Basic " +
        QByteArray(RadicaleServer::kUser).append(':').append(RadicaleServer::kPassword).toBase64());
    client.setTimeout(600000);
    const CalDavClient::Reply reply =
        client.send({{"PUT", QUrl(url), {{"Content-Type", "text/calendar; charset=utf-8"}}, ics}})
            .constFirst();
    if (!reply.ok()) {
        std::fprintf(stderr, "filling %s: HTTP %d %s\n", qPrintable(url), reply.status,
                     qPrintable(reply.networkError));
        std::abort();
    }
    return url;
}

QString statePath()
{
    return QDir(setup().dir.filePath(QStringLiteral("YEARS"))).filePath(PublishState::fileName(kYear));
}

// The state as a sync without a token leaves it: no "syncToken" in any collection.
void forgetSyncTokens()
{
    QFile file(statePath());
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    QJsonArray collections = root.value(QStringLiteral("collections")).toArray();
    for (QJsonValueRef c : collections) {
        QJsonObject o = c.toObject();
        o.remove(QStringLiteral("syncToken"));
        c = o;
    }
    root.insert(QStringLiteral("collections"), collections);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(root).toJson()) < 0)
        std::abort();
}

void removeState()
{
    QFile::remove(statePath());
}

void BM_PublishFirst(benchmark::State& state)
{
    CalDavClient::Traffic total;
    for (auto _ : state) {
        state.PauseTiming();
        removeState();
        const QString url = newCalendar();
        state.ResumeTiming();
        add(total, publish(url, int(state.range(0))));
    }
    report(state, total);
}
BENCHMARK(BM_PublishFirst)
    ->ArgName("connections")
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// 5 memos edited on the server by python3-caldav, as a phone would; each fetched by its href, which a
// search by UID would cost a scan of the whole calendar for.
void editOnServer(const QString& url, int round)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "import caldav,sys,icalendar,urllib.parse\n"
                 "c=caldav.DAVClient(sys.argv[1],username=sys.argv[2],password=sys.argv[3])\n"
                 "cal=caldav.Calendar(client=c,url=sys.argv[4])\n"
                 "for d in range(10,15):\n"
                 "  uid='%1-01-%02d-memo@tolva'%d\n"
                 "  e=caldav.Event(client=c,parent=cal,url=sys.argv[4]+urllib.parse.quote(uid)+'.ics')\n"
                 "  e.load()\n"
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

// The year synced once to a new calendar of `events` events in all.
QString syncedCalendar(int events)
{
    removeState();
    DataStore store;
    if (!store.CaptureWorkDir(setup().dir.path()).ok() || !store.saveYear(fullYear()).ok())
        std::abort();
    const QString url = filledCalendar(events - kYearEvents);
    publish(url, 6, "sync");
    return url;
}

void BM_SyncTenEdits(benchmark::State& state)
{
    const QString url = syncedCalendar(int(state.range(1)));
    DataStore store;
    if (!store.CaptureWorkDir(setup().dir.path()).ok())
        std::abort();
    CalDavClient::Traffic total;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        if (!store.saveYear(fullYear(round)).ok())
            std::abort();
        editOnServer(url, round);
        if (state.range(2) == 0)
            forgetSyncTokens();
        state.ResumeTiming();
        add(total, publish(url, int(state.range(0)), "sync"));
    }
    report(state, total);
}
BENCHMARK(BM_SyncTenEdits)
    ->ArgNames({"connections", "events", "token"})
    ->Args({1, kYearEvents, 1})
    ->Args({6, kYearEvents, 1})
    ->Args({6, kYearEvents, 0})
    ->Args({6, 5000, 1})
    ->Args({6, 5000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_SyncNoChange(benchmark::State& state)
{
    const QString url = syncedCalendar(int(state.range(0)));
    // One run first, so that the record holds the token of the calendar as it is.
    publish(url, 6, "sync");
    CalDavClient::Traffic total;
    for (auto _ : state) {
        if (state.range(1) == 0) {
            state.PauseTiming();
            forgetSyncTokens();
            state.ResumeTiming();
        }
        add(total, publish(url, 6, "sync"));
    }
    report(state, total);
}
BENCHMARK(BM_SyncNoChange)
    ->ArgNames({"events", "token"})
    ->Args({kYearEvents, 1})
    ->Args({kYearEvents, 0})
    ->Args({5000, 1})
    ->Args({5000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// A calendar URL reached through the proxy that adds kLatencyMs to every request.
QString distant(const QString& url)
{
    Setup& s = setup();
    if (s.proxyPort == 0) {
        s.proxyPort = RadicaleServer::freePort();
        s.proxy.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(TOLVA_FLAKY_PROXY), QString::number(s.proxyPort),
                       QStringLiteral("http://127.0.0.1:%1").arg(s.server.port()),
                       s.dir.filePath(QStringLiteral("no-failures")), QString::number(kLatencyMs)});
        if (!s.proxy.waitForStarted())
            std::abort();
        QThread::msleep(500);
    }
    QUrl u(url);
    u.setPort(s.proxyPort);
    return u.toString();
}

void BM_PublishFirstDistant(benchmark::State& state)
{
    CalDavClient::Traffic total;
    for (auto _ : state) {
        state.PauseTiming();
        removeState();
        const QString url = distant(newCalendar());
        state.ResumeTiming();
        add(total, publish(url, int(state.range(0))));
    }
    report(state, total);
}
BENCHMARK(BM_PublishFirstDistant)
    ->ArgName("connections")
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

void BM_PublishNoChange(benchmark::State& state)
{
    removeState();
    const QString url = newCalendar();
    publish(url);
    CalDavClient::Traffic total;
    for (auto _ : state)
        add(total, publish(url));
    report(state, total);
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
