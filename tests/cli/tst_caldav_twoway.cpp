// sync against a real CalDAV server (Radicale on 127.0.0.1) with python3-caldav as the phone: edits on both
// sides between syncs, conflicts, and runs cut short. The cases build on each other in order.
#include "CalDavAccount.h"
#include "CalendarExport.h"
#include "CliFixture.h"
#include "ProjectList.h"
#include "PublishState.h"
#include "RadicaleServer.h"
#include "TextCodec.h"
#include "YearItems.h"
#include "YearReader.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;
const QString kCalendar = QStringLiteral("planner");

int day(int month, int d)
{
    return Calendar::dayOfYear(kYear, month, d);
}

SYSTEMTIME at(int month, int d, int hour, int minute = 0, int second = 0)
{
    SYSTEMTIME st = Calendar::makeDate(kYear, month, d);
    st.wHour = std::uint16_t(hour);
    st.wMinute = std::uint16_t(minute);
    st.wSecond = std::uint16_t(second);
    return st;
}

// A small year whose every item the test names.
YearData plannerYear()
{
    YearData y;
    y.reset();
    y.m_settings.m_stSelected = Calendar::makeDate(kYear, 3, 1);
    ProjectList projects(y.m_projects, y.m_names, y.m_dayMarks);
    const auto add = [&](const char* name, int m1, int d1, int m2, int d2, COLORREF color) {
        ProjectRecord p{};
        p.m_bLongLine = 1;
        p.m_stStart = at(m1, d1, 0);
        p.m_stEnd = at(m2, d2, 23, 59, 59);
        p.m_crColor = color;
        projects.append(p, name);
    };
    add("Garden", 3, 1, 3, 31, makeColorRef(0, 128, 0));
    add("Thesis", 4, 1, 6, 30, makeColorRef(0, 0, 255));
    add("Move", 7, 1, 7, 10, makeColorRef(255, 0, 0));
    projects.setMarked(day(4, 3), 1, true);
    for (int d = 5; d <= 9; ++d)
        y.m_memos.setAt(day(3, d), QByteArray("Memo ") + QByteArray::number(d));
    AlarmRecord a{};
    a.m_bOn = 1;
    a.m_stWhen = at(4, 1, 10);
    y.m_alarms.at(day(4, 1)) = a;
    y.m_alarmTexts.setAt(day(4, 1), "Call the bank");
    a.m_stWhen = at(4, 2, 11);
    y.m_alarms.at(day(4, 2)) = a;
    y.m_alarmTexts.setAt(day(4, 2), "Dentist");
    y.m_redTexts.setAt(day(5, 1), "Labour Day");
    y.m_redTexts.setAt(day(10, 3), "Unity Day");
    return y;
}

ForeverRedDays christmas()
{
    ForeverRedDays f;
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    r.m_stDate = Calendar::makeDate(kYear, 12, 25);
    f.m_foreverRedDays.append(r);
    f.m_foreverRedTexts.append("Christmas");
    return f;
}

QString memoUid(int month, int d)
{
    return QStringLiteral("%1-%2-%3-memo@tolva")
        .arg(kYear)
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(d, 2, 10, QLatin1Char('0'));
}

} // namespace

class TstCalDavTwoWay : public QObject
{
    Q_OBJECT

private:
    QString peer(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                QStringList{QStringLiteral(TOLVA_CALDAV_PEER), m_server.baseUrl(),
                            QLatin1String(RadicaleServer::kUser), QLatin1String(RadicaleServer::kPassword)} +
                    args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            qWarning() << "python3-caldav peer failed:" << args << p.readAllStandardError();
            return QStringLiteral("failed");
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // UID -> the event as the phone sees it.
    QMap<QString, QJsonObject> server()
    {
        QMap<QString, QJsonObject> events;
        for (const QString& line :
             peer({QStringLiteral("dump"), kCalendar}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            events.insert(o.value(QStringLiteral("uid")).toString(), o);
        }
        return events;
    }

    // UID -> SUMMARY, of the year as export-ics gives it and of the server (foreign events aside): equal
    // when both sides hold the same.
    QMap<QString, QString> summaries(bool ofServer)
    {
        QMap<QString, QString> out;
        if (ofServer) {
            for (const QJsonObject& o : server())
                if (o.value(QStringLiteral("uid")).toString().endsWith(QLatin1String("@tolva")) ||
                    m_adopted.contains(o.value(QStringLiteral("uid")).toString()))
                    out.insert(o.value(QStringLiteral("uid")).toString(),
                               o.value(QStringLiteral("summary")).toString());
            return out;
        }
        YearReader reader(m_dir.path());
        if (!reader.read(kYear))
            return out;
        PublishState state;
        QString error;
        state.load(QDir(reader.yearsDir()).filePath(PublishState::fileName(kYear)), error);
        QStringList notes;
        const auto known = state.events(m_server.calendarUrl(kCalendar));
        // A red day another client's event gave, as it gave it, stands for that event.
        QHash<QString, QString> tiedTo;
        for (const SyncPlan::Known& k : known)
            for (const QString& key : k.days.keys())
                tiedTo.insert(key, k.uid);
        for (const CalendarEvent& e : YearItems::events(reader.year(), known, notes))
            out.insert(tiedTo.value(YearItems::dayKey(e), e.uid), e.summary);
        return out;
    }

    Run sync(const QStringList& extra = {})
    {
        return runInProcess(QStringList{QStringLiteral("--dir"), m_dir.path(), QStringLiteral("sync"),
                                        QString::number(kYear), QStringLiteral("--url"),
                                        m_server.calendarUrl(kCalendar), QStringLiteral("--user"),
                                        QLatin1String(RadicaleServer::kUser)} +
                            extra);
    }

    YearData year(const QString& dir = QString())
    {
        YearReader reader(dir.isEmpty() ? m_dir.path() : dir);
        return reader.read(kYear) ? reader.year() : YearData{};
    }

    void save(const YearData& y) { save(m_dir.path(), y); }
    void save(const QString& dir, const YearData& y)
    {
        DataStore store;
        QVERIFY(store.CaptureWorkDir(dir).ok());
        QVERIFY(store.saveYear(y).ok());
    }

    QString addOnPhone(const QByteArray& object)
    {
        const QString path = m_dir.filePath(QStringLiteral("object.ics"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(object) != object.size())
            return QStringLiteral("failed");
        f.close();
        return peer({QStringLiteral("add"), kCalendar, path});
    }

    static QString lastLine(const QString& text)
    {
        return text.trimmed().split(QLatin1Char('\n')).constLast();
    }

    RadicaleServer m_server;
    QTemporaryDir m_dir;
    QTemporaryDir m_home;
    QStringList m_adopted;

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        QString error;
        QVERIFY2(m_server.start(error), qPrintable(error));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        qputenv(CalDavAccount::kPasswordVariable, RadicaleServer::kPassword);
        writeFolder(m_dir.path(), plannerYear(), christmas());
        QVERIFY(peer({QStringLiteral("make"), kCalendar}).isEmpty());
    }

    // Why: the first sync of a year is a publish; the second, with nothing changed, must send nothing.
    void firstSyncPublishesAndSecondSendsNothing()
    {
        const Run first = sync();
        QVERIFY2(first.status == 0, qPrintable(first.out + first.err));
        QCOMPARE(lastLine(first.out), QStringLiteral("13 added, 0 changed, 0 removed on the server; 0 taken "
                                                     "in, 0 removed, 0 red days added here"));
        QCOMPARE(summaries(true), summaries(false));
        const Run second = sync({QStringLiteral("--verbose")});
        QVERIFY2(second.status == 0, qPrintable(second.err));
        QCOMPARE(
            lastLine(second.out),
            QStringLiteral(
                "0 added, 0 changed, 0 removed on the server; 0 taken in, 0 removed, 0 red days added here"));
        QCOMPARE(second.err.count(
                     QRegularExpression(QStringLiteral("^[A-Z]+ http"), QRegularExpression::MultilineOption)),
                 1);
        // The phone sees the revision and the colour.
        const QJsonObject garden = server().value(QStringLiteral("%1-project-0@tolva").arg(kYear));
        QCOMPARE(garden.value(QStringLiteral("color")).toString(), QStringLiteral("green"));
        QCOMPARE(garden.value(QStringLiteral("sequence")).toInt(), 0);
    }

    // Why: this is what sync is for: what was changed on the phone comes back, what was changed in the
    // planner goes out, and an item changed on both sides is reported with both values.
    void editsOnBothSidesMeet()
    {
        const QString garden = QStringLiteral("%1-project-0@tolva").arg(kYear);
        const QString thesis = QStringLiteral("%1-project-1@tolva").arg(kYear);
        const QString bank = QStringLiteral("%1-04-01-alarm@tolva").arg(kYear);
        const QString dentist = QStringLiteral("%1-04-02-alarm@tolva").arg(kYear);
        const QString labour = QStringLiteral("%1-05-01-red-day@tolva").arg(kYear);
        const QString unity = QStringLiteral("%1-10-03-red-day@tolva").arg(kYear);
        // The phone.
        const QStringList phone[] = {
            {QStringLiteral("set"), kCalendar, memoUid(3, 5), QStringLiteral("DESCRIPTION"),
             QStringLiteral("Memo 5\nfrom the phone")},
            {QStringLiteral("set"), kCalendar, memoUid(3, 9), QStringLiteral("SUMMARY"),
             QStringLiteral("Phone's 9")},
            {QStringLiteral("delete"), kCalendar, memoUid(3, 6)},
            {QStringLiteral("set"), kCalendar, bank, QStringLiteral("DTSTART"),
             QStringLiteral("20260401T153000")},
            {QStringLiteral("noalarm"), kCalendar, dentist},
            {QStringLiteral("set"), kCalendar, labour, QStringLiteral("SUMMARY"), QStringLiteral("May Day")},
            {QStringLiteral("set"), kCalendar, labour, QStringLiteral("DESCRIPTION"),
             QStringLiteral("May Day")},
            {QStringLiteral("set"), kCalendar, garden, QStringLiteral("SUMMARY"),
             QStringLiteral("Allotment")},
            {QStringLiteral("set"), kCalendar, garden, QStringLiteral("COLOR"), QStringLiteral("orange")},
            {QStringLiteral("set"), kCalendar, thesis, QStringLiteral("DTEND"), QStringLiteral("20260716")},
            {QStringLiteral("set"), kCalendar, thesis, QStringLiteral("X-TOLVA-TICKS"),
             QStringLiteral("20260410")},
            {QStringLiteral("set"), kCalendar, memoUid(3, 8), QStringLiteral("DESCRIPTION"),
             QStringLiteral("Phone's 8")},
        };
        for (const QStringList& edit : phone)
            QVERIFY2(peer(edit).isEmpty(), qPrintable(edit.join(QLatin1Char(' '))));
        QVERIFY(addOnPhone("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VEVENT\r\n"
                           "UID:team-day@phone.example\r\nDTSTAMP:20260101T000000Z\r\n"
                           "DTSTART;VALUE=DATE:20260612\r\nDTEND;VALUE=DATE:20260613\r\n"
                           "SUMMARY:Team day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                    .isEmpty());
        QVERIFY(addOnPhone("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VEVENT\r\n"
                           "UID:meeting@phone.example\r\nDTSTAMP:20260101T000000Z\r\n"
                           "DTSTART:20260615T090000Z\r\nDTEND:20260615T100000Z\r\n"
                           "SUMMARY:Meeting\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                    .isEmpty());
        // The planner: another memo, a new one, a red day gone, and the memo the phone changed too.
        YearData y = year();
        y.m_memos.setAt(day(3, 7), "Memo 7, edited here");
        y.m_memos.setAt(day(8, 8), "New here");
        y.m_redTexts.setAt(day(10, 3), QByteArray());
        y.m_memos.setAt(day(3, 8), "Planner's 8");
        save(y);

        const Run r = sync();
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        QVERIFY2(r.out.contains(
                     QStringLiteral("conflict  %1 (Planner's 8): the planner has \"Planner's 8\" on "
                                    "2026-03-08, the server \"Phone's 8\" on 2026-03-08; kept the planner's")
                         .arg(memoUid(3, 8))),
                 qPrintable(r.out));
        QCOMPARE(r.out.count(QStringLiteral("meeting@phone.example")), 1);
        m_adopted << QStringLiteral("team-day@phone.example");

        y = year();
        const auto text = [](const StringList& list, int n) { return TextCodec::decode(list.at(n)); };
        QCOMPARE(text(y.m_memos, day(3, 5)), QStringLiteral("Memo 5\r\nfrom the phone"));
        QCOMPARE(text(y.m_memos, day(3, 9)), QStringLiteral("Phone's 9"));
        QCOMPARE(text(y.m_memos, day(3, 6)), QString());
        QCOMPARE(text(y.m_memos, day(3, 7)), QStringLiteral("Memo 7, edited here"));
        QCOMPARE(text(y.m_memos, day(3, 8)), QStringLiteral("Planner's 8"));
        QCOMPARE(y.m_alarms.at(day(4, 1)).m_stWhen, at(4, 1, 15, 30));
        QCOMPARE(int(y.m_alarms.at(day(4, 1)).m_bOn), 1);
        QCOMPARE(int(y.m_alarms.at(day(4, 2)).m_bOn), 0);
        QCOMPARE(text(y.m_redTexts, day(5, 1)), QStringLiteral("May Day"));
        QCOMPARE(text(y.m_redTexts, day(6, 12)), QStringLiteral("Team day"));
        QCOMPARE(text(y.m_names, 0), QStringLiteral("Allotment"));
        QCOMPARE(y.m_projects.at(0).m_crColor, makeColorRef(255, 165, 0));
        QCOMPARE(y.m_projects.at(1).m_stEnd, at(7, 15, 23, 59, 59));
        QCOMPARE(y.m_projects.at(1).m_stStart, at(4, 1, 0)); // untouched field keeps its value
        QVERIFY(!y.m_dayMarks.at(day(4, 3)).m_bChecked[1]);
        QVERIFY(y.m_dayMarks.at(day(4, 10)).m_bChecked[1]);

        const QMap<QString, QJsonObject> s = server();
        QCOMPARE(s.value(memoUid(3, 7)).value(QStringLiteral("summary")).toString(),
                 QStringLiteral("Memo 7, edited here"));
        QCOMPARE(s.value(memoUid(3, 8)).value(QStringLiteral("summary")).toString(),
                 QStringLiteral("Planner's 8"));
        QVERIFY(s.contains(memoUid(8, 8)));
        QVERIFY(!s.contains(unity));
        QVERIFY(!s.contains(dentist)); // an alarm turned off is no event
        QVERIFY(s.contains(QStringLiteral("meeting@phone.example")));
        // The phone's all-day event is that red day's own object: no second event beside it.
        QVERIFY(s.contains(QStringLiteral("team-day@phone.example")));
        QCOMPARE(s.keys().filter(QStringLiteral("06-12")).size(), 0);
        QVERIFY(s.value(memoUid(3, 7)).value(QStringLiteral("sequence")).toInt() >= 1);

        const Run again = sync();
        QVERIFY2(again.status == 0, qPrintable(again.err));
        QCOMPARE(
            lastLine(again.out),
            QStringLiteral(
                "0 added, 0 changed, 0 removed on the server; 0 taken in, 0 removed, 0 red days added here"));
        QCOMPARE(summaries(true), summaries(false));
    }

    // Why: the user who knows the phone's version is the right one says so once, for every conflict.
    void preferServerTakesTheServers()
    {
        QVERIFY(peer({QStringLiteral("set"), kCalendar, memoUid(3, 7), QStringLiteral("DESCRIPTION"),
                      QStringLiteral("Phone wins")})
                    .isEmpty());
        YearData y = year();
        y.m_memos.setAt(day(3, 7), "Planner loses");
        save(y);
        const Run r = sync({QStringLiteral("--prefer"), QStringLiteral("server")});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        QVERIFY2(r.out.contains(QStringLiteral("; kept the server's")), qPrintable(r.out));
        QCOMPARE(TextCodec::decode(year().m_memos.at(day(3, 7))), QStringLiteral("Phone wins"));
        QCOMPARE(summaries(true), summaries(false));
    }

    // Why: a sync killed after its requests but before its record was kept (or the year saved) must be
    // finished by the next run: no event twice on the phone, no edit lost on either side.
    void runCutShortIsFinishedByTheNext()
    {
        const QString statePath = m_dir.filePath(QStringLiteral("YEARS/") + PublishState::fileName(kYear));
        const QByteArray oldState = fileBytes(statePath);
        YearData y = year();
        y.m_memos.setAt(day(9, 1), "Written before the kill");
        y.m_memos.setAt(day(3, 5), "Changed before the kill");
        save(y);
        QVERIFY(peer({QStringLiteral("set"), kCalendar, memoUid(3, 9), QStringLiteral("DESCRIPTION"),
                      QStringLiteral("Phone, before the kill")})
                    .isEmpty());
        QCOMPARE(sync().status, 0);
        // As if the run had ended before its record was written.
        QFile f(statePath);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(oldState) == oldState.size());
        f.close();
        const int count = server().size();

        const Run r = sync();
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        QVERIFY2(!r.out.contains(QStringLiteral("conflict")), qPrintable(r.out));
        QCOMPARE(
            lastLine(r.out),
            QStringLiteral(
                "0 added, 0 changed, 0 removed on the server; 0 taken in, 0 removed, 0 red days added here"));
        QCOMPARE(server().size(), count);
        QCOMPARE(TextCodec::decode(year().m_memos.at(day(3, 9))), QStringLiteral("Phone, before the kill"));
        QCOMPARE(summaries(true), summaries(false));
    }

    // Why: publish and sync share the record; the events a sync saw from other clients are not publish's to
    // remove.
    void publishAfterSyncLeavesOthersEventsAlone()
    {
        const Run r =
            runInProcess({QStringLiteral("--dir"), m_dir.path(), QStringLiteral("publish"),
                          QString::number(kYear), QStringLiteral("--url"), m_server.calendarUrl(kCalendar),
                          QStringLiteral("--user"), QLatin1String(RadicaleServer::kUser)});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        QCOMPARE(lastLine(r.out), QStringLiteral("0 added, 0 changed, 0 removed"));
        QVERIFY(server().contains(QStringLiteral("meeting@phone.example")));
        QCOMPARE(lastLine(sync().out),
                 QStringLiteral("0 added, 0 changed, 0 removed on the server; 0 taken in, 0 "
                                "removed, 0 red days added here"));
    }

    // Why: a server that fails in the middle of a sync (a 500 on one PUT) must cost nothing: what went
    // through is recorded, what failed is sent again by the next run, and nothing is doubled.
    void failedRequestIsSentAgainByTheNextRun()
    {
        const quint16 port = RadicaleServer::freePort();
        const QString control = m_dir.filePath(QStringLiteral("fail"));
        QFile c(control);
        QVERIFY(c.open(QIODevice::WriteOnly));
        c.write("PUT 03-09-memo\n");
        c.close();
        QProcess proxy;
        proxy.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(TOLVA_FLAKY_PROXY), QString::number(port),
                     QStringLiteral("http://127.0.0.1:%1").arg(m_server.port()), control});
        QVERIFY(proxy.waitForStarted());
        const auto stop = qScopeGuard([&] {
            proxy.kill();
            proxy.waitForFinished();
        });
        QElapsedTimer clock;
        clock.start();
        bool up = false;
        while (!up && clock.elapsed() < 10000) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), port);
            up = probe.waitForConnected(200);
            if (!up)
                QThread::msleep(50);
        }
        QVERIFY(up);
        const QString url = QStringLiteral("http://127.0.0.1:%1/%2/%3/")
                                .arg(port)
                                .arg(QLatin1String(RadicaleServer::kUser), kCalendar);
        const auto viaProxy = [&] {
            return runInProcess({QStringLiteral("--dir"), m_dir.path(), QStringLiteral("sync"),
                                 QString::number(kYear), QStringLiteral("--url"), url,
                                 QStringLiteral("--user"), QLatin1String(RadicaleServer::kUser)});
        };
        // A record for this URL first: everything is found equal, nothing is sent.
        const Run adopt = viaProxy();
        QVERIFY2(adopt.status == 0, qPrintable(adopt.out + adopt.err));
        QVERIFY2(!adopt.out.contains(QStringLiteral("conflict")), qPrintable(adopt.out));

        YearData y = year();
        y.m_memos.setAt(day(3, 9), "Sent on the second try");
        y.m_memos.setAt(day(9, 2), "Sent at once");
        save(y);
        const int count = server().size();
        const Run failed = viaProxy();
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains(QStringLiteral("HTTP 500")), qPrintable(failed.err));
        QMap<QString, QJsonObject> s = server();
        QCOMPARE(s.value(memoUid(9, 2)).value(QStringLiteral("summary")).toString(),
                 QStringLiteral("Sent at once"));
        QVERIFY(s.value(memoUid(3, 9)).value(QStringLiteral("summary")).toString() !=
                QLatin1String("Sent on the second try"));

        QVERIFY(c.open(QIODevice::WriteOnly | QIODevice::Truncate));
        c.close();
        const Run again = viaProxy();
        QVERIFY2(again.status == 0, qPrintable(again.out + again.err));
        QCOMPARE(lastLine(again.out),
                 QStringLiteral("0 added, 1 changed, 0 removed on the server; 0 taken in, 0 "
                                "removed, 0 red days added here"));
        s = server();
        QCOMPARE(s.size(), count + 1);
        QCOMPARE(s.value(memoUid(3, 9)).value(QStringLiteral("summary")).toString(),
                 QStringLiteral("Sent on the second try"));
    }

    // Why: a phone's event over several days, or one that repeats, gives the year many red days; sent back
    // as events of ours they would stand twice on the phone, and left behind when the phone deletes the
    // event they would never go. A day the user un-reds leaves the phone's event as it is.
    void foreignEventOverSeveralDaysStaysOneObject_data()
    {
        QTest::addColumn<QByteArray>("lines"); // of the VEVENT, after its UID
        QTest::addColumn<QStringList>("days"); // MM-dd of the red days it gives
        QTest::newRow("three days") << QByteArray(
                                           "DTSTART;VALUE=DATE:20260803\r\nDTEND;VALUE=DATE:20260806\r\n")
                                    << QStringList{"08-03", "08-04", "08-05"};
        QTest::newRow("weekly") << QByteArray("DTSTART;VALUE=DATE:20260902\r\nDTEND;VALUE=DATE:20260903\r\n"
                                              "RRULE:FREQ=WEEKLY;COUNT=4\r\n")
                                << QStringList{"09-02", "09-09", "09-16", "09-23"};
        QTest::newRow("two days weekly") << QByteArray("DTSTART;VALUE=DATE:20261105\r\n"
                                                       "DTEND;VALUE=DATE:20261107\r\nRRULE:FREQ=WEEKLY;UNTIL="
                                                       "20261113\r\n")
                                         << QStringList{"11-05", "11-06", "11-12", "11-13"};
    }
    void foreignEventOverSeveralDaysStaysOneObject()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, days);
        const QString calendar = QStringLiteral("phone-%1").arg(QTest::currentDataTag()).replace(' ', '-');
        const QString uid = calendar + QStringLiteral("@phone.example");
        const QString ours = QStringLiteral("%1-10-03-red-day@tolva").arg(kYear);
        QTemporaryDir dir;
        YearData y;
        y.reset();
        y.m_settings.m_stSelected = Calendar::makeDate(kYear, 3, 1);
        y.m_redTexts.setAt(day(10, 3), "Unity Day");
        writeFolder(dir.path(), y, ForeverRedDays{});
        QVERIFY(peer({QStringLiteral("make"), calendar}).isEmpty());
        const QString object = dir.filePath(QStringLiteral("object.ics"));
        QFile f(object);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VEVENT\r\nUID:" + uid.toUtf8() +
            "\r\nDTSTAMP:20260101T000000Z\r\n" + lines + "SUMMARY:Away\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        f.close();
        QVERIFY(peer({QStringLiteral("add"), calendar, object}).isEmpty());
        const QString original = peer({QStringLiteral("dump"), calendar});

        const auto run = [&](const char* command) {
            return runInProcess({QStringLiteral("--dir"), dir.path(), QLatin1String(command),
                                 QString::number(kYear), QStringLiteral("--url"),
                                 m_server.calendarUrl(calendar), QStringLiteral("--user"),
                                 QLatin1String(RadicaleServer::kUser)});
        };
        // UID -> the event as the phone sees it, and the year's red days as MM-dd -> text.
        const auto onServer = [&] {
            QMap<QString, QString> events;
            for (const QString& line :
                 peer({QStringLiteral("dump"), calendar}).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                events.insert(
                    QJsonDocument::fromJson(line.toUtf8()).object().value(QStringLiteral("uid")).toString(),
                    line);
            return events;
        };
        const auto redDays = [&] {
            QMap<QString, QString> out;
            YearReader reader(dir.path());
            if (!reader.read(kYear))
                return out;
            for (int n = 1; n <= 365; ++n) {
                const QString text = TextCodec::decode(reader.year().m_redTexts.at(n));
                if (!text.isEmpty())
                    out.insert(QDate(kYear, 1, 1).addDays(n - 1).toString(QStringLiteral("MM-dd")), text);
            }
            return out;
        };
        QMap<QString, QString> expectedDays{{QStringLiteral("10-03"), QStringLiteral("Unity Day")}};
        for (const QString& d : days)
            expectedDays.insert(d, QStringLiteral("Away"));
        const QString nothing = QStringLiteral(
            "0 added, 0 changed, 0 removed on the server; 0 taken in, 0 removed, 0 red days added here");

        const Run first = run("sync");
        QVERIFY2(first.status == 0, qPrintable(first.out + first.err));
        QCOMPARE(lastLine(first.out),
                 QStringLiteral("1 added, 0 changed, 0 removed on the server; 0 taken in, "
                                "0 removed, %1 red days added here")
                     .arg(days.size()));
        QCOMPARE(redDays(), expectedDays);
        const Run second = run("sync");
        QVERIFY2(second.status == 0, qPrintable(second.out + second.err));
        QCOMPARE(lastLine(second.out), nothing);
        const Run published = run("publish");
        QVERIFY2(published.status == 0, qPrintable(published.out + published.err));
        QCOMPARE(lastLine(published.out), QStringLiteral("0 added, 0 changed, 0 removed"));
        QMap<QString, QString> s = onServer();
        QCOMPARE(s.keys(), (QStringList{ours, uid}));
        QCOMPARE(s.value(uid), original.trimmed());
        QCOMPARE(redDays(), expectedDays);

        // Un-red in the planner: the day goes here only, the phone's event stays as it is.
        y = year(dir.path());
        y.m_redTexts.setAt(day(days.constFirst().left(2).toInt(), days.constFirst().mid(3).toInt()),
                           QByteArray());
        save(dir.path(), y);
        expectedDays.remove(days.constFirst());
        const Run unred = run("sync");
        QVERIFY2(unred.status == 0, qPrintable(unred.out + unred.err));
        QCOMPARE(lastLine(unred.out), nothing);
        QCOMPARE(onServer(), s);
        QCOMPARE(redDays(), expectedDays);

        // Changed on the phone: it gives its days again, the one un-redded here too.
        QVERIFY(peer({QStringLiteral("edit"), calendar, uid, QStringLiteral("Away again")}).isEmpty());
        s = onServer();
        const Run changed = run("sync");
        QVERIFY2(changed.status == 0, qPrintable(changed.out + changed.err));
        QCOMPARE(lastLine(changed.out), QStringLiteral("0 added, 0 changed, 0 removed on the server; 0 taken "
                                                       "in, 0 removed, %1 red days added here")
                                            .arg(days.size()));
        QCOMPARE(onServer(), s);
        for (const QString& d : days)
            expectedDays.insert(d, QStringLiteral("Away again"));
        QCOMPARE(redDays(), expectedDays);

        // Deleted on the phone: its red days go with it.
        QVERIFY(peer({QStringLiteral("delete"), calendar, uid}).isEmpty());
        const Run deleted = run("sync");
        QVERIFY2(deleted.status == 0, qPrintable(deleted.out + deleted.err));
        QCOMPARE(lastLine(deleted.out), QStringLiteral("0 added, 0 changed, 0 removed on the server; 0 taken "
                                                       "in, %1 removed, 0 red days added here")
                                            .arg(days.size()));
        QCOMPARE(onServer().keys(), QStringList{ours});
        QCOMPARE(redDays(), (QMap<QString, QString>{{QStringLiteral("10-03"), QStringLiteral("Unity Day")}}));
    }

    void cleanupTestCase() { m_server.stop(); }
};

QTEST_GUILESS_MAIN(TstCalDavTwoWay)
#include "tst_caldav_twoway.moc"
