// Other clients' all-day events through sync and pull against a real CalDAV server (Radicale on 127.0.0.1),
// python3-caldav playing the phone: what they give the year stays theirs through edits on the phone, runs
// cut short, deletions and a calendar emptied by mistake.
#include "CalDavAccount.h"
#include "CliFixture.h"
#include "PublishState.h"
#include "RadicaleServer.h"
#include "SyncEngine.h"
#include "TextCodec.h"
#include "YearReader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;

QByteArray allDay(const QString& uid, const QString& first, const QString& after, const QString& summary,
                  bool yearly = false)
{
    return QStringLiteral(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VEVENT\r\nUID:%1\r\n"
               "DTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:%2\r\nDTEND;VALUE=DATE:%3\r\n%4"
               "SUMMARY:%5\r\nLOCATION:Kept as the phone wrote it\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        .arg(uid, first, after, yearly ? QStringLiteral("RRULE:FREQ=YEARLY\r\n") : QString(), summary)
        .toUtf8();
}

// The year's red days as "MM-DD Text".
QStringList redDays(const YearData& y)
{
    QStringList out;
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= Calendar::daysInMonth(kYear, m); ++d) {
            const int n = Calendar::dayOfYear(kYear, m, d);
            if (n < y.m_redTexts.count() && !y.m_redTexts.at(n).isEmpty())
                out << QStringLiteral("%1-%2 %3")
                           .arg(m, 2, 10, QLatin1Char('0'))
                           .arg(d, 2, 10, QLatin1Char('0'))
                           .arg(TextCodec::decode(y.m_redTexts.at(n)));
        }
    return out;
}

} // namespace

class TstCalDavPhone : public QObject
{
    Q_OBJECT

private:
    QString peer(const QStringList& args) { return m_server.peer(TOLVA_CALDAV_PEER, args); }

    // UID -> SUMMARY of every event on the phone; each UID once, or the test fails.
    QMap<QString, QString> phone(const QString& calendar)
    {
        QMap<QString, QString> events;
        for (const QString& line :
             peer({QStringLiteral("dump"), calendar}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            events.insert(o.value(QStringLiteral("uid")).toString(),
                          o.value(QStringLiteral("summary")).toString());
        }
        return events;
    }

    Run run(const QString& command, const QString& dir, const QString& calendar,
            const QStringList& extra = {})
    {
        const QString url = m_server.calendarUrl(calendar);
        const QStringList args =
            command == QLatin1String("pull")
                ? QStringList{QStringLiteral("pull"), url, QString::number(kYear)}
                : QStringList{command, QString::number(kYear), QStringLiteral("--url"), url};
        return runInProcess(QStringList{QStringLiteral("--dir"), dir} + args +
                            QStringList{QStringLiteral("--user"), QLatin1String(RadicaleServer::kUser)} +
                            extra);
    }

    // One step of a script: a phone edit ("add UID FIRST AFTER SUMMARY [yearly]", "edit UID SUMMARY",
    // "delete UID", "clear"), a planner memo ("memo MM-DD TEXT"), or a run ("sync", "pull", "cut": a sync
    // whose record was never written, as when it is killed between the year's save and the record;
    // "damage": the journal such a run left cut in half).
    QString step(const QString& line, const QString& dir, const QString& calendar, Run& last)
    {
        const QStringList w = line.split(QLatin1Char(' '));
        const QString& verb = w.at(0);
        if (verb == QLatin1String("add")) {
            const QString path = QDir(dir).filePath(QStringLiteral("object.ics"));
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly))
                return QStringLiteral("no file");
            f.write(allDay(w.at(1), w.at(2), w.at(3), w.at(4), w.size() > 5));
            f.close();
            return peer({QStringLiteral("add"), calendar, path});
        }
        if (verb == QLatin1String("edit"))
            return peer(
                {QStringLiteral("set"), calendar, w.at(1), QStringLiteral("SUMMARY"), w.mid(2).join(' ')});
        if (verb == QLatin1String("delete"))
            return peer({QStringLiteral("delete"), calendar, w.at(1)});
        if (verb == QLatin1String("clear")) {
            for (const QString& uid : phone(calendar).keys())
                if (!peer({QStringLiteral("delete"), calendar, uid}).isEmpty())
                    return QStringLiteral("clear failed");
            return QString();
        }
        if (verb == QLatin1String("memo")) {
            YearReader reader(dir);
            YearData y = reader.read(kYear) ? reader.year() : YearData{};
            if (!reader.hasFile()) {
                y.reset();
                y.m_settings.m_stSelected = Calendar::makeDate(kYear, 1, 1);
            }
            const QStringList md = w.at(1).split(QLatin1Char('-'));
            y.m_memos.setAt(Calendar::dayOfYear(kYear, md.at(0).toInt(), md.at(1).toInt()),
                            TextCodec::encode(w.mid(2).join(' ')));
            DataStore store;
            return store.CaptureWorkDir(dir).ok() && store.saveYear(y).ok() ? QString()
                                                                            : QStringLiteral("save");
        }
        if (verb == QLatin1String("damage")) {
            // The journal cut short by a full disk or a crash.
            QFile journal(SyncEngine::journalPath(QDir(dir).filePath(QStringLiteral("YEARS")), kYear));
            return journal.open(QIODevice::ReadWrite) && journal.resize(journal.size() / 2)
                       ? QString()
                       : QStringLiteral("no journal");
        }
        const QString state = QDir(dir).filePath(QStringLiteral("YEARS/") + PublishState::fileName(kYear));
        const QByteArray before = fileBytes(state);
        last = run(verb == QLatin1String("cut") ? QStringLiteral("sync") : verb, dir, calendar, w.mid(1));
        if (verb == QLatin1String("cut")) {
            // As a run killed after it saved the year: its journal of what it took in is still there.
            QFile journal(SyncEngine::journalPath(QDir(dir).filePath(QStringLiteral("YEARS")), kYear));
            if (!journal.open(QIODevice::WriteOnly) || journal.write(fileBytes(state)) < 0)
                return QStringLiteral("journal not written");
            journal.close();
            QFile f(state);
            if (before.isEmpty())
                f.remove();
            else if (!f.open(QIODevice::WriteOnly) || f.write(before) != before.size())
                return QStringLiteral("state not restored");
        }
        return QString();
    }

    RadicaleServer m_server;
    QTemporaryDir m_home;
    int m_calendars = 0;

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        QString error;
        QVERIFY2(m_server.start(error), qPrintable(error));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        qputenv(CalDavAccount::kPasswordVariable, RadicaleServer::kPassword);
    }

    // Why: another client's event is that client's: each change to it on the phone reaches the year, as often
    // as it happens, on the days it gives and no other, and nothing of ours ever stands beside it or over it.
    void phoneEventsStayTheirs_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("days");  // the year's red days after the script
        QTest::addColumn<QStringList>("phone"); // "UID SUMMARY" of every event on the phone
        QTest::addColumn<int>("status");        // of the last run
        const QStringList four{
            QStringLiteral("add k0 20260110 20260111 K0"), QStringLiteral("add k1 20260113 20260114 K1"),
            QStringLiteral("add k2 20260116 20260117 K2"), QStringLiteral("add k3 20260119 20260120 K3")};
        QTest::newRow("four in one sync, one edited")
            << four + QStringList{QStringLiteral("sync"), QStringLiteral("edit k0 K0 edited"),
                                  QStringLiteral("sync")}
            << QStringList{QStringLiteral("01-10 K0 edited"), QStringLiteral("01-13 K1"),
                           QStringLiteral("01-16 K2"), QStringLiteral("01-19 K3")}
            << QStringList{QStringLiteral("k0 K0 edited"), QStringLiteral("k1 K1"), QStringLiteral("k2 K2"),
                           QStringLiteral("k3 K3")}
            << 0;
        QTest::newRow("a yearly one deleted beside a trip")
            << QStringList{QStringLiteral("add trip 20260810 20260813 Trip"),
                           QStringLiteral("add fest 20200820 20200821 Fest yearly"), QStringLiteral("sync"),
                           QStringLiteral("delete fest"), QStringLiteral("sync")}
            << QStringList{QStringLiteral("08-10 Trip"), QStringLiteral("08-11 Trip"),
                           QStringLiteral("08-12 Trip")}
            << QStringList{QStringLiteral("trip Trip")} << 0;
        QTest::newRow("edited twice, then a quiet sync")
            << QStringList{QStringLiteral("add k 20260301 20260302 First"),
                           QStringLiteral("sync"),
                           QStringLiteral("edit k Edit 1"),
                           QStringLiteral("sync"),
                           QStringLiteral("edit k Edit 2"),
                           QStringLiteral("sync"),
                           QStringLiteral("sync")}
            << QStringList{QStringLiteral("03-01 Edit 2")} << QStringList{QStringLiteral("k Edit 2")} << 0;
        QTest::newRow("cut before the record, over three days")
            << QStringList{QStringLiteral("add trip 20260810 20260813 Trip"),
                           QStringLiteral("cut"),
                           QStringLiteral("sync"),
                           QStringLiteral("edit trip Trip moved"),
                           QStringLiteral("cut"),
                           QStringLiteral("sync")}
            << QStringList{QStringLiteral("08-10 Trip moved"), QStringLiteral("08-11 Trip moved"),
                           QStringLiteral("08-12 Trip moved")}
            << QStringList{QStringLiteral("trip Trip moved")} << 0;
        QTest::newRow("cut before the record, one day, then deleted")
            << QStringList{QStringLiteral("add k 20260401 20260402 One"),
                           QStringLiteral("cut"),
                           QStringLiteral("cut"),
                           QStringLiteral("sync"),
                           QStringLiteral("delete k"),
                           QStringLiteral("sync")}
            << QStringList{} << QStringList{} << 0;
        QTest::newRow("cut before the record, then a memo here and an edit there")
            << QStringList{QStringLiteral("add k 20260401 20260402 One"),
                           QStringLiteral("cut"),
                           QStringLiteral("memo 03-01 Meanwhile"),
                           QStringLiteral("edit k Two"),
                           QStringLiteral("sync"),
                           QStringLiteral("sync")}
            << QStringList{QStringLiteral("04-01 Two")} << QStringList{QStringLiteral("k Two")} << 0;
        QTest::newRow("pull of a holiday deleted there")
            << QStringList{QStringLiteral("add h 20260501 20260502 Holiday"), QStringLiteral("pull"),
                           QStringLiteral("delete h"), QStringLiteral("pull")}
            << QStringList{} << QStringList{} << 0;
        QStringList memos{QStringLiteral("add k 20260601 20260602 Phone")};
        for (int d = 1; d <= 8; ++d)
            memos << QStringLiteral("memo 02-%1 Memo %1").arg(d, 2, 10, QLatin1Char('0'));
        QStringList kept{QStringLiteral("06-01 Phone")};
        QTest::newRow("the calendar emptied stops the run")
            << memos + QStringList{QStringLiteral("sync"), QStringLiteral("clear"), QStringLiteral("sync")}
            << kept << QStringList{} << 1;
        QTest::newRow("and goes on when told")
            << memos + QStringList{QStringLiteral("sync"), QStringLiteral("clear"),
                                   QStringLiteral("sync --allow-mass-deletion")}
            << QStringList{} << QStringList{} << 0;
    }
    void phoneEventsStayTheirs()
    {
        QFETCH(QStringList, script);
        QFETCH(QStringList, days);
        QFETCH(QStringList, phone);
        QFETCH(int, status);
        const QString calendar = QStringLiteral("phone%1").arg(++m_calendars);
        QCOMPARE(peer({QStringLiteral("make"), calendar}), QString());
        QTemporaryDir dir;
        Run last;
        for (const QString& line : script)
            QVERIFY2(step(line, dir.path(), calendar, last).isEmpty(), qPrintable(line));
        QVERIFY2(last.status == status, qPrintable(last.out + last.err));
        YearReader reader(dir.path());
        QVERIFY(reader.read(kYear));
        QCOMPARE(redDays(reader.year()), days);
        QStringList onPhone;
        const QMap<QString, QString> events = this->phone(calendar);
        for (auto it = events.cbegin(); it != events.cend(); ++it)
            if (!it.key().endsWith(QLatin1String("memo@tolva")))
                onPhone << it.key() + QLatin1Char(' ') + it.value();
        QCOMPARE(onPhone, phone);
        if (status == 1) {
            QVERIFY2(last.err.contains(QStringLiteral("Nothing was changed")), qPrintable(last.err));
            QCOMPARE(events.size(), 0);
            QCOMPARE(reader.year().m_memos.at(Calendar::dayOfYear(kYear, 2, 8)), QByteArray("Memo 08"));
        }
    }

    // Why: the journal of a cut run is the only place its ties to another client's days are kept; one that
    // no longer reads (a damaged disk) must not stop the sync, and is kept for whoever looks, with a word.
    void aDamagedTieJournalIsKeptAsideAndTold()
    {
        const QString calendar = QStringLiteral("phone%1").arg(++m_calendars);
        QCOMPARE(peer({QStringLiteral("make"), calendar}), QString());
        QTemporaryDir dir;
        Run last;
        for (const QString& line : {QStringLiteral("add k 20260401 20260402 One"), QStringLiteral("cut"),
                                    QStringLiteral("damage"), QStringLiteral("sync")})
            QVERIFY2(step(line, dir.path(), calendar, last).isEmpty(), qPrintable(line));
        QVERIFY2(last.status == 0, qPrintable(last.out + last.err));
        const QString journal =
            SyncEngine::journalPath(QDir(dir.path()).filePath(QStringLiteral("YEARS")), kYear);
        QVERIFY2(last.out.contains(QDir::toNativeSeparators(journal + QStringLiteral(".damaged"))),
                 qPrintable(last.out));
        QVERIFY(QFileInfo::exists(journal + QStringLiteral(".damaged")));
        QVERIFY(!QFileInfo::exists(journal));
        YearReader reader(dir.path());
        QVERIFY(reader.read(kYear));
        QCOMPARE(redDays(reader.year()), QStringList{QStringLiteral("04-01 One")});
        QCOMPARE(phone(calendar).value(QStringLiteral("k")), QStringLiteral("One"));
    }

    // Why: a sync may be killed anywhere (a logout, a crash, a laptop lid); whatever the phone and the
    // planner did meanwhile, the next runs must bring both sides to the same, with nothing twice and nothing
    // lost.
    void syncsKilledAnywhereEndEqual()
    {
        const QString calendar = QStringLiteral("killed");
        QCOMPARE(peer({QStringLiteral("make"), calendar}), QString());
        QTemporaryDir dir;
        Run last;
        // TOLVA_TEST_SEED replays a run: the same steps and the same kill delays.
        const quint32 seed = qEnvironmentVariableIsSet("TOLVA_TEST_SEED")
                                 ? qEnvironmentVariable("TOLVA_TEST_SEED").toUInt()
                                 : QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        QMap<QString, QString> phoneDays; // UID -> "MM-DD Summary" the phone holds
        for (int i = 0; i < 20; ++i) {
            const QString uid = QStringLiteral("e%1").arg(random.bounded(6));
            const int day = 1 + random.bounded(28);
            QString op;
            if (!phoneDays.contains(uid)) {
                op = QStringLiteral("add %1 202605%2 202605%3 S%4")
                         .arg(uid)
                         .arg(day, 2, 10, QLatin1Char('0'))
                         .arg(day + 1, 2, 10, QLatin1Char('0'))
                         .arg(i);
                phoneDays.insert(uid, QStringLiteral("05-%1 S%2").arg(day, 2, 10, QLatin1Char('0')).arg(i));
            } else if (random.bounded(2) == 0) {
                op = QStringLiteral("edit %1 S%2").arg(uid).arg(i);
                phoneDays[uid] = phoneDays.value(uid).left(6) + QStringLiteral("S%1").arg(i);
            } else {
                op = QStringLiteral("delete %1").arg(uid);
                phoneDays.remove(uid);
            }
            // Two events on one day: the first keeps the red day, which this check cannot tell apart.
            bool taken = false;
            for (auto it = phoneDays.cbegin(); it != phoneDays.cend(); ++it)
                taken = taken || (it.key() != uid && it.value().left(5) == phoneDays.value(uid).left(5));
            if (taken) {
                phoneDays.remove(uid);
                continue;
            }
            QVERIFY2(step(op, dir.path(), calendar, last).isEmpty(), qPrintable(op));
            QVERIFY(step(QStringLiteral("memo 03-%1 Memo %2").arg(1 + i % 9, 2, 10, QLatin1Char('0')).arg(i),
                         dir.path(), calendar, last)
                        .isEmpty());
            QProcess sync;
            sync.start(QStringLiteral(TOLVA_CLI),
                       {QStringLiteral("--dir"), dir.path(), QStringLiteral("sync"), QString::number(kYear),
                        QStringLiteral("--url"), m_server.calendarUrl(calendar), QStringLiteral("--user"),
                        QLatin1String(RadicaleServer::kUser)});
            QVERIFY(sync.waitForStarted());
            QThread::msleep(random.bounded(400));
            sync.kill();
            sync.waitForFinished();
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY(step(QStringLiteral("sync"), dir.path(), calendar, last).isEmpty());
            QVERIFY2(last.status == 0, qPrintable(last.out + last.err));
        }
        QVERIFY2(
            last.out.endsWith(QStringLiteral("0 added, 0 changed, 0 removed on the server; 0 taken in, 0 "
                                             "removed, 0 red days added here\n")),
            qPrintable(last.out));
        YearReader reader(dir.path());
        QVERIFY(reader.read(kYear));
        QStringList expected = phoneDays.values();
        expected.sort();
        QCOMPARE(redDays(reader.year()), expected);
        const QMap<QString, QString> events = phone(calendar);
        QCOMPARE(QStringList(events.keys()).filter(QStringLiteral("red-day@tolva")), QStringList{});
        for (int d = 1; d <= 9; ++d) {
            const QString uid =
                QStringLiteral("%1-03-%2-memo@tolva").arg(kYear).arg(d, 2, 10, QLatin1Char('0'));
            const int n = Calendar::dayOfYear(kYear, 3, d);
            QCOMPARE(events.value(uid), TextCodec::decode(reader.year().m_memos.at(n)));
        }
    }
};

QTEST_GUILESS_MAIN(TstCalDavPhone)
#include "tst_caldav_phone.moc"
