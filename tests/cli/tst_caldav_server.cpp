// publish and pull against a real CalDAV server (Radicale on 127.0.0.1), checked with an independent client
// (python3-caldav). The cases build on each other in order: one server, one year published and changed.
#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "CalendarExport.h"
#include "CliFixture.h"
#include "ProjectList.h"
#include "PublishState.h"
#include "RadicaleServer.h"
#include "TextCodec.h"
#include "YearItems.h"
#include "YearReader.h"

#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;
const QString kYearCalendar = QStringLiteral("year");
const QString kHolidayCalendar = QStringLiteral("holidays");
const QString kForeignUid = QStringLiteral("dentist-4711@example.org");

// UID -> SUMMARY of every event in a calendar, as the independent client sees it.
using Listing = QMap<QString, QString>;

QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : folderEntries(dir))
        files.insert(name, fileBytes(QDir(dir).filePath(name)));
    return files;
}

} // namespace

class TstCalDavServer : public QObject
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
            return QString();
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    Listing list(const QString& calendar)
    {
        Listing events;
        for (const QString& line : peer({QStringLiteral("list"), calendar}).split(QLatin1Char('\n'))) {
            const qsizetype tab = line.indexOf(QLatin1Char('\t'));
            if (tab > 0)
                events.insert(line.left(tab), line.mid(tab + 1));
        }
        return events;
    }

    // What export-ics gives for the year in the folder now.
    Listing exported()
    {
        YearReader reader(m_dir.path());
        if (!reader.read(kYear))
            return {};
        QStringList notes;
        Listing events;
        for (const CalendarEvent& e : CalendarExport::events(reader.year(), notes))
            events.insert(e.uid, e.summary);
        return events;
    }

    Run publish(const QStringList& extra = {})
    {
        return runInProcess(QStringList{QStringLiteral("--dir"), m_dir.path(), QStringLiteral("publish"),
                                        QString::number(kYear), QStringLiteral("--url"),
                                        m_server.calendarUrl(kYearCalendar), QStringLiteral("--user"),
                                        QLatin1String(RadicaleServer::kUser)} +
                            extra);
    }

    static QString lastLine(const QString& text)
    {
        return text.trimmed().split(QLatin1Char('\n')).constLast();
    }

    RadicaleServer m_server;
    QTemporaryDir m_dir;  // holds YEARS
    QTemporaryDir m_home; // $HOME, with the .netrc of the program runs
    Listing m_published;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(error), qPrintable(error));
        QVERIFY(m_dir.isValid() && m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv(CalDavAccount::kPasswordVariable, RadicaleServer::kPassword);
        QFile netrc(QDir(m_home.path()).filePath(QStringLiteral(".netrc")));
        QVERIFY(netrc.open(QIODevice::WriteOnly));
        netrc.write(QStringLiteral("machine 127.0.0.1 login %1 password \"%2\"\n")
                        .arg(QLatin1String(RadicaleServer::kUser), QLatin1String(RadicaleServer::kPassword))
                        .toUtf8());
        netrc.close();
        writeFolder(m_dir.path(), richYear(kYear), everyYearDays(kYear));
        QVERIFY(peer({QStringLiteral("setup"), kYearCalendar, kHolidayCalendar}).isEmpty());
    }

    // Why: the point of publishing is that any calendar program shows the same events as export-ics.
    void publishPutsEveryExportedEvent()
    {
        const Listing expected = exported();
        QVERIFY(expected.size() > 20);
        const Run r = publish();
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(lastLine(r.out), QStringLiteral("%1 added, 0 changed, 0 removed").arg(expected.size()));
        Listing server = list(kYearCalendar);
        QCOMPARE(server.take(kForeignUid), QStringLiteral("Dentist"));
        QCOMPARE(server, expected);
        QVERIFY(QFileInfo::exists(
            QDir(m_dir.filePath(QStringLiteral("YEARS"))).filePath(PublishState::fileName(kYear))));
        m_published = expected;
    }

    // Why: a publish run from cron every hour must cost one listing and touch nothing when nothing changed.
    // The program itself runs here, with the password from $HOME/.netrc only.
    void secondPublishSendsOnlyTheListing()
    {
        const QString years = m_dir.filePath(QStringLiteral("YEARS"));
        const auto before = snapshot(years);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QLatin1String(CalDavAccount::kPasswordVariable));
        env.insert(QStringLiteral("HOME"), m_home.path());
        const Run r = runProgram({QStringLiteral("--dir"), m_dir.path(), QStringLiteral("publish"),
                                  QString::number(kYear), QStringLiteral("--url"),
                                  m_server.calendarUrl(kYearCalendar), QStringLiteral("--verbose")},
                                 env);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(lastLine(r.out), QStringLiteral("0 added, 0 changed, 0 removed"));
        // Besides the export's notes (a project without a period), stderr has one line per request.
        static const QRegularExpression request(QStringLiteral("^(PROPFIND|REPORT|PUT|DELETE) .* -> (\\d+)"),
                                                QRegularExpression::MultilineOption);
        QStringList requests;
        for (auto it = request.globalMatch(r.err); it.hasNext();)
            requests << it.next().captured(0);
        QCOMPARE(requests.size(), 1);
        QVERIFY2(requests.first().startsWith(QStringLiteral("PROPFIND ")) &&
                     requests.first().endsWith(" -> 207"),
                 qPrintable(r.err));
        QCOMPARE(snapshot(years), before);
    }

    // Why: an event of a deleted project must leave the phone's calendar too, and nothing else with it.
    void deletedProjectRemovesExactlyItsEvent()
    {
        YearData year = richYear(kYear);
        ProjectList projects(year.m_projects, year.m_names, year.m_dayMarks);
        // The last one with an event: UIDs follow the project's position, so an earlier one would renumber
        // the events of those after it.
        qsizetype last = projects.count() - 1;
        while (last >= 0 && !m_published.contains(QStringLiteral("%1-project-%2@tolva").arg(kYear).arg(last)))
            --last;
        QVERIFY(last > 0);
        projects.remove(last);
        writeFolder(m_dir.path(), year, everyYearDays(kYear));
        const Listing expected = exported();
        QCOMPARE(expected.size(), m_published.size() - 1);

        const Run r = publish();
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(lastLine(r.out), QStringLiteral("0 added, 0 changed, 1 removed"));
        Listing server = list(kYearCalendar);
        QVERIFY(server.contains(kForeignUid));
        server.remove(kForeignUid);
        QCOMPARE(server, expected);
        m_published = expected;
    }

    // Why: deleting or reordering projects must not make every phone re-download the projects around it:
    // a project's UID follows the project, not its place in the list.
    void earlierProjectDeletedRemovesOnlyIt()
    {
        YearReader reader(m_dir.path());
        QVERIFY(reader.read(kYear));
        YearData year = reader.year();
        ProjectList projects(year.m_projects, year.m_names, year.m_dayMarks);
        projects.remove(1);
        // And the first one renamed: it keeps its days, so it keeps its UID too.
        ProjectRecord first = year.m_projects.at(0);
        projects.replace(0, first, QByteArray("Renamed"));
        writeFolder(m_dir.path(), year, everyYearDays(kYear));

        const Run r = publish();
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(lastLine(r.out), QStringLiteral("0 added, 1 changed, 1 removed"));
        QVERIFY2(r.out.contains(QStringLiteral("removed   %1-project-1@tolva").arg(kYear)),
                 qPrintable(r.out));
        const Listing server = list(kYearCalendar);
        QCOMPARE(server.value(QStringLiteral("%1-project-0@tolva").arg(kYear)), QStringLiteral("Renamed"));
        QVERIFY(!server.contains(QStringLiteral("%1-project-1@tolva").arg(kYear)));
        m_published = server;
        m_published.remove(kForeignUid);
    }

    // Why: several years share one calendar; the red days that repeat every year are one event for all of
    // them, so the second year's publish must neither report them as conflicts nor add them twice.
    void anotherYearSharesTheCalendar()
    {
        QTemporaryDir other;
        writeFolder(other.path(), richYear(kYear + 1), everyYearDays(kYear + 1));
        const Run r = runInProcess({QStringLiteral("--dir"), other.path(), QStringLiteral("publish"),
                                    QString::number(kYear + 1), QStringLiteral("--url"),
                                    m_server.calendarUrl(kYearCalendar), QStringLiteral("--user"),
                                    QLatin1String(RadicaleServer::kUser)});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        QVERIFY2(!r.out.contains(QStringLiteral("every-year-")), qPrintable(r.out));
        const Listing server = list(kYearCalendar);
        QCOMPARE(server.keys().filter(QStringLiteral("every-year-")).size(),
                 m_published.keys().filter(QStringLiteral("every-year-")).size());
        // And the first year still finds everything of its own as it left it.
        QCOMPARE(lastLine(publish().out), QStringLiteral("0 added, 0 changed, 0 removed"));
    }

    // Why: an event someone edited on the phone must not be overwritten behind their back; --force is the
    // user saying the planner wins.
    void eventEditedElsewhereIsAConflictUntilForced()
    {
        const QString uid = QStringLiteral("%1-project-0@tolva").arg(kYear);
        QVERIFY(m_published.contains(uid));
        QVERIFY(peer({QStringLiteral("edit"), kYearCalendar, uid, QStringLiteral("Edited on the phone")})
                    .isEmpty());

        const Run conflict = publish();
        QCOMPARE(conflict.status, 1);
        QVERIFY2(conflict.out.contains(QStringLiteral("conflict  ") + uid), qPrintable(conflict.out));
        QCOMPARE(lastLine(conflict.out), QStringLiteral("0 added, 0 changed, 0 removed, 1 left alone"));
        QCOMPARE(conflict.err.count(QLatin1Char('\n')), 1);
        QCOMPARE(list(kYearCalendar).value(uid), QStringLiteral("Edited on the phone"));

        const Run forced = publish({QStringLiteral("--force")});
        QVERIFY2(forced.status == 0, qPrintable(forced.err));
        QCOMPARE(lastLine(forced.out), QStringLiteral("0 added, 1 changed, 0 removed"));
        const Listing server = list(kYearCalendar);
        QCOMPARE(server.value(uid), m_published.value(uid));
        QCOMPARE(server.value(kForeignUid), QStringLiteral("Dentist"));

        const Run again = publish();
        QCOMPARE(lastLine(again.out), QStringLiteral("0 added, 0 changed, 0 removed"));
    }

    // Why: a shared holiday calendar is the usual source of red days; pulling it again must add nothing.
    void pullMakesHolidaysRedDays()
    {
        QTemporaryDir dir;
        const QStringList args{QStringLiteral("--dir"),
                               dir.path(),
                               QStringLiteral("pull"),
                               m_server.calendarUrl(kHolidayCalendar),
                               QString::number(kYear),
                               QStringLiteral("--user"),
                               QLatin1String(RadicaleServer::kUser)};
        const Run first = runInProcess(args);
        QVERIFY2(first.status == 0, qPrintable(first.err));
        QCOMPARE(lastLine(first.out),
                 QStringLiteral("0 taken in, 0 removed, 3 red days added here; 1 left on the server"));
        QVERIFY2(first.out.contains(
                     QStringLiteral("parade@holidays.example (Parade) on the server: a timed event")),
                 qPrintable(first.out));

        YearReader reader(dir.path());
        QVERIFY(reader.read(kYear));
        const struct
        {
            int month, day;
            const char* text;
            bool everyYear;
        } expected[] = {
            {1, 1, "New Year's Day", true}, {5, 1, "Labour Day", false}, {12, 25, "Christmas Day", true}};
        for (const auto& e : expected) {
            const int index = Calendar::dayOfYear(kYear, e.month, e.day);
            QCOMPARE(TextCodec::decode(reader.year().m_redTexts.at(index)), QLatin1String(e.text));
            QCOMPARE(reader.year().m_redDays.at(index).m_bEveryYear != 0, e.everyYear);
        }
        QCOMPARE(reader.everyYear().m_foreverRedDays.count(), 2);

        const auto before = snapshot(dir.filePath(QStringLiteral("YEARS")));
        const Run second = runInProcess(args);
        QVERIFY2(second.status == 0, qPrintable(second.err));
        // Each foreign event is taken in or listed once, and again only when someone changes it.
        QCOMPARE(lastLine(second.out), QStringLiteral("0 taken in, 0 removed, 0 red days added here"));
        QCOMPARE(snapshot(dir.filePath(QStringLiteral("YEARS"))), before);
    }

    // Why: pulling the planner's own calendar once turned every project and memo into a red day; it must
    // give them back as what they are, so a new machine gets its year from the server.
    void pullOfOwnCalendarGivesTheYearBack()
    {
        QTemporaryDir dir;
        const Run r = runInProcess({QStringLiteral("--dir"), dir.path(), QStringLiteral("pull"),
                                    m_server.calendarUrl(kYearCalendar), QString::number(kYear),
                                    QStringLiteral("--user"), QLatin1String(RadicaleServer::kUser)});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        QVERIFY2(lastLine(r.out).contains(QStringLiteral(", 0 red days added here")), qPrintable(r.out));
        YearReader mine(m_dir.path()), pulled(dir.path());
        QVERIFY(mine.read(kYear) && pulled.read(kYear));
        QStringList notes;
        // Projects come in the server's order; each item once, with its day and text.
        QStringList expected, got;
        for (const CalendarEvent& e : CalendarExport::events(mine.year(), notes))
            expected << YearItems::dayKey(e) + QLatin1Char('|') + e.summary;
        for (const CalendarEvent& e : CalendarExport::events(pulled.year(), notes))
            got << YearItems::dayKey(e) + QLatin1Char('|') + e.summary;
        expected.sort();
        got.sort();
        QCOMPARE(got, expected);
    }

    // Why: a sync asks only for what changed since its token; what another client did must all be in it,
    // and a token the server forgot must be told apart from "nothing changed".
    void changesSinceTokenAreExactlyTheOthersEdits()
    {
        CalDavClient client("Basic " + QByteArray("alice:s3cret pass").toBase64());
        const QUrl url(m_server.calendarUrl(kYearCalendar));
        QList<MultiStatus::Response> before, after, changed;
        QStringList removed;
        QString token, next, error;
        CalDavClient::DeltaStatus status{};
        QVERIFY2(client.list(url, before, error, &token) && !token.isEmpty(), qPrintable(error));
        QVERIFY2(client.changesSince(url, token, changed, removed, next, status, error), qPrintable(error));
        QVERIFY(status == CalDavClient::DeltaStatus::Ok && changed.isEmpty() && removed.isEmpty() &&
                next == token);

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("new.ics"));
        QFile f(file);
        QVERIFY(
            f.open(QIODevice::WriteOnly) &&
            f.write(QByteArray("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//peer//EN\nBEGIN:VEVENT\nUID:new@x\n"
                               "DTSTAMP:20260101T000000Z\nDTSTART:20260401T090000Z\nSUMMARY:New\n"
                               "END:VEVENT\nEND:VCALENDAR\n")) > 0);
        f.close();
        QVERIFY(peer({QStringLiteral("add"), kYearCalendar, file}).isEmpty());
        QVERIFY(
            peer({QStringLiteral("edit"), kYearCalendar, kForeignUid, QStringLiteral("Moved")}).isEmpty());
        QVERIFY(peer({QStringLiteral("delete"), kYearCalendar, m_published.firstKey()}).isEmpty());
        QVERIFY2(client.changesSince(url, token, changed, removed, next, status, error), qPrintable(error));
        QVERIFY(client.list(url, after, error));
        // Exactly the members whose ETag is new, and the one no longer listed.
        const auto keys = [&url](const QList<MultiStatus::Response>& rs, bool etags) {
            QSet<QString> set;
            for (const MultiStatus::Response& r : rs)
                set << CalDavClient::normalHref(url, r.href) + (etags ? u' ' + r.etag : QString());
            return set;
        };
        QCOMPARE(changed.size(), 2);
        QCOMPARE(keys(changed, true), keys(after, true) - keys(before, true));
        QCOMPARE(removed.size(), 1);
        QCOMPARE(QSet<QString>(removed.cbegin(), removed.cend()), keys(before, false) - keys(after, false));
        QVERIFY(!next.isEmpty() && next != token);

        QVERIFY(
            client.changesSince(url, QStringLiteral("urn:made-up"), changed, removed, next, status, error));
        QVERIFY(status == CalDavClient::DeltaStatus::TokenInvalid && changed.isEmpty());
    }

    // Why: a failure must say in one line which URL and what went wrong, and must leave the files alone.
    void failuresAreOneLineAndWriteNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("status");
        const QString calendar = m_server.calendarUrl(kYearCalendar);
        const QString stopped =
            QStringLiteral("http://127.0.0.1:%1/alice/year/").arg(RadicaleServer::freePort());
        const QString wrongUrl = m_server.calendarUrl(QStringLiteral("no-such-calendar"));
        for (const QString& command : {QStringLiteral("publish"), QStringLiteral("pull")}) {
            QTest::addRow("%s, wrong password", qPrintable(command)) << command << calendar << "wrong"
                                                                     << "HTTP 401" << 1;
            QTest::addRow("%s, stopped server", qPrintable(command))
                << command << stopped << RadicaleServer::kPassword << "Connection refused" << 1;
            QTest::addRow("%s, wrong URL", qPrintable(command))
                << command << wrongUrl << RadicaleServer::kPassword << "HTTP 404" << 1;
        }
        QTest::addRow("sync, a space in the URL")
            << "sync" << QStringLiteral("http://127.0.0.1:%1/alice/my year/").arg(m_server.port())
            << RadicaleServer::kPassword << "%20" << 2;
        QTest::addRow("publish, plain http to another host")
            << "publish"
            << "http://calendar.example.org/alice/year/" << RadicaleServer::kPassword << "https" << 1;
    }
    void failuresAreOneLineAndWriteNothing()
    {
        QFETCH(QString, command);
        QFETCH(QString, url);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QFETCH(int, status);
        const QString years = m_dir.filePath(QStringLiteral("YEARS"));
        const auto before = snapshot(years);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(CalDavAccount::kPasswordVariable), password);
        const QStringList args =
            command != QLatin1String("pull")
                ? QStringList{command, QString::number(kYear), QStringLiteral("--url"), url}
                : QStringList{QStringLiteral("pull"), url, QString::number(kYear)};
        const Run r =
            runProgram(QStringList{QStringLiteral("--dir"), m_dir.path()} + args +
                           QStringList{QStringLiteral("--user"), QLatin1String(RadicaleServer::kUser)},
                       env);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.endsWith(QLatin1Char('\n')) && r.err.count(QLatin1Char('\n')) == 1, qPrintable(r.err));
        QVERIFY2(r.err.contains(expected), qPrintable(r.err));
        QVERIFY2(r.err.contains(url), qPrintable(r.err));
        QCOMPARE(snapshot(years), before);
    }

    void cleanupTestCase() { m_server.stop(); }
};

QTEST_GUILESS_MAIN(TstCalDavServer)
#include "tst_caldav_server.moc"
