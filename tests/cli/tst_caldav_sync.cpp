// The parts of publish and pull that need no calendar server: the sync decision over its three tables, the
// multistatus reader, credentials and URL rules, the publish state file, and the client's failures against
// a socket that answers badly or not at all.
#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "Calendar.h"
#include "CalendarExport.h"
#include "ICalendarFile.h"
#include "MultiStatus.h"
#include "ProjectIdentity.h"
#include "PublishState.h"
#include "SyncDecision.h"
#include "SyncPlan.h"
#include "YearData.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(SyncPlan::Action)
Q_DECLARE_METATYPE(SyncPlan::Reason)

namespace {

// A table row as text: "uid:href:etag:hash" (local: "uid:hash", remote: "href:etag"), ';' between items.
QList<QStringList> items(const QString& text)
{
    QList<QStringList> out;
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << item.split(QLatin1Char(':'));
    return out;
}

// Answers each request, once it has come in, with the next of `replies` (the last one again when they run
// out); with an empty reply, never answers.
class CannedServer : public QTcpServer
{
public:
    explicit CannedServer(const QByteArrayList& replies) : m_replies(replies)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_received += s->readAll();
                    for (; m_answered <
                           m_received.count("</D:propfind>") + m_received.count("</D:sync-collection>");
                         ++m_answered)
                        s->write(m_replies.at(qMin(m_answered, m_replies.size() - 1)));
                });
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(serverPort())); }
    const QByteArray& received() const { return m_received; }

private:
    QByteArrayList m_replies;
    QByteArray m_received;
    qsizetype m_answered = 0;
};

QByteArray withBody(const QByteArray& statusLine, const QByteArray& body)
{
    return statusLine +
           "\r\nContent-Type: application/xml\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

} // namespace

class TstCalDavSync : public QObject
{
    Q_OBJECT

private slots:
    // Why: every publish rests on this decision; a wrong step overwrites someone's edit or leaves a stale
    // event on every phone that shows the calendar.
    void planDecidesEachEvent_data()
    {
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("known");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<bool>("force");
        QTest::addColumn<SyncPlan::Action>("action");
        QTest::addColumn<SyncPlan::Reason>("reason");
        QTest::addColumn<QString>("ifMatch");
        using A = SyncPlan::Action;
        using R = SyncPlan::Reason;
        QTest::newRow("new event") << "a:h1"
                                   << ""
                                   << "" << false << A::Create << R::New << "";
        QTest::newRow("unchanged") << "a:h1"
                                   << "a:/c/a.ics:e1:h1"
                                   << "/c/a.ics:e1" << false << A::Untouched << R::None << "e1";
        QTest::newRow("changed here") << "a:h2"
                                      << "a:/c/a.ics:e1:h1"
                                      << "/c/a.ics:e1" << false << A::Update << R::Changed << "e1";
        QTest::newRow("changed on the server")
            << "a:h1"
            << "a:/c/a.ics:e1:h1"
            << "/c/a.ics:e9" << false << A::Conflict << R::ChangedOnServer << "e9";
        QTest::newRow("changed on both sides")
            << "a:h2"
            << "a:/c/a.ics:e1:h1"
            << "/c/a.ics:e9" << false << A::Conflict << R::ChangedOnServer << "e9";
        QTest::newRow("changed on the server, forced")
            << "a:h1"
            << "a:/c/a.ics:e1:h1"
            << "/c/a.ics:e9" << true << A::Update << R::ChangedOnServer << "e9";
        QTest::newRow("deleted on the server") << "a:h1"
                                               << "a:/c/a.ics:e1:h1"
                                               << "" << false << A::Conflict << R::DeletedOnServer << "";
        QTest::newRow("deleted on the server, forced") << "a:h1"
                                                       << "a:/c/a.ics:e1:h1"
                                                       << "" << true << A::Create << R::DeletedOnServer << "";
        QTest::newRow("at our href, not put there by us")
            << "a:h1"
            << ""
            << "/c/a.ics:e5" << false << A::Conflict << R::UnknownOnServer << "e5";
        QTest::newRow("at our href, forced")
            << "a:h1"
            << ""
            << "/c/a.ics:e5" << true << A::Update << R::UnknownOnServer << "e5";
        QTest::newRow("removed here") << ""
                                      << "a:/c/a.ics:e1:h1"
                                      << "/c/a.ics:e1" << false << A::Delete << R::Removed << "e1";
        QTest::newRow("removed here, changed there")
            << ""
            << "a:/c/a.ics:e1:h1"
            << "/c/a.ics:e2" << false << A::Conflict << R::RemovedButChanged << "e2";
        QTest::newRow("removed here, changed there, forced")
            << ""
            << "a:/c/a.ics:e1:h1"
            << "/c/a.ics:e2" << true << A::Delete << R::RemovedButChanged << "e2";
        QTest::newRow("removed on both sides") << ""
                                               << "a:/c/a.ics:e1:h1"
                                               << "" << false << A::Forget << R::None << "";
        // Another year sharing the calendar put the same every-year event there, or a run was cut short
        // after its PUT: the same content is no conflict, only a new ETag to keep.
        QTest::newRow("at our href with our very content")
            << "a:h1"
            << ""
            << "/c/a.ics:e5:h1" << false << A::Untouched << R::None << "e5";
        QTest::newRow("changed on the server to our content")
            << "a:h2"
            << "a:/c/a.ics:e1:h1"
            << "/c/a.ics:e9:h2" << false << A::Untouched << R::None << "e9";
        QTest::newRow("at our href, other content")
            << "a:h1"
            << ""
            << "/c/a.ics:e5:h7" << false << A::Conflict << R::UnknownOnServer << "e5";
    }
    void planDecidesEachEvent()
    {
        QFETCH(QString, local);
        QFETCH(QString, known);
        QFETCH(QString, remote);
        QFETCH(bool, force);
        QFETCH(SyncPlan::Action, action);
        QFETCH(SyncPlan::Reason, reason);
        QFETCH(QString, ifMatch);
        QList<SyncPlan::Local> l;
        for (const QStringList& i : items(local))
            l << SyncPlan::Local{i[0], QStringLiteral("/c/%1.ics").arg(i[0]), i[1].toUtf8()};
        QList<SyncPlan::Known> k;
        for (const QStringList& i : items(known))
            k << SyncPlan::Known{i[0], i[1], i[2], i[3].toUtf8(), {}, -1, false, {}, 0, {}, {}};
        // A stranger's object is in every listing; it must never get a step.
        QList<SyncPlan::Remote> r{{QStringLiteral("/c/foreign.ics"), QStringLiteral("f1"), {}}};
        for (const QStringList& i : items(remote))
            r << SyncPlan::Remote{i[0], i[1], i.size() > 2 ? i[2].toUtf8() : QByteArray()};

        const QList<SyncPlan::Step> steps = SyncPlan::plan(l, k, r, force);
        QCOMPARE(steps.size(), 1);
        QCOMPARE(steps[0].uid, QStringLiteral("a"));
        QCOMPARE(steps[0].href, QStringLiteral("/c/a.ics"));
        QCOMPARE(steps[0].action, action);
        QCOMPARE(steps[0].reason, reason);
        QCOMPARE(steps[0].ifMatch, ifMatch);
        QCOMPARE(steps[0].forced,
                 force && reason != SyncPlan::Reason::None && reason != SyncPlan::Reason::New &&
                     reason != SyncPlan::Reason::Changed && reason != SyncPlan::Reason::Removed);
    }

    // Why: the year file has no id for a project; if its UID followed its position, every phone would
    // re-download and re-notify the projects after one that was deleted or moved.
    void projectsKeepTheirUids_data()
    {
        QTest::addColumn<QString>("known"); // "uid=name/first/last/colour" at positions 0, 1, ...
        QTest::addColumn<QString>("now");   // "name/first/last/colour" in list order
        QTest::addColumn<QString>("uids");  // expected, '*' for a new one
        const QString three = QStringLiteral("A=Alpha/1/5/1;B=Beta/3/9/2;C=Gamma/10/20/3");
        QTest::newRow("unchanged") << three << "Alpha/1/5/1;Beta/3/9/2;Gamma/10/20/3"
                                   << "A;B;C";
        QTest::newRow("an earlier one deleted") << three << "Beta/3/9/2;Gamma/10/20/3"
                                                << "B;C";
        QTest::newRow("reordered") << three << "Gamma/10/20/3;Alpha/1/5/1;Beta/3/9/2"
                                   << "C;A;B";
        QTest::newRow("renamed, same days") << three << "Alpha/1/5/1;Renamed/3/9/2;Gamma/10/20/3"
                                            << "A;B;C";
        QTest::newRow("moved, same name") << three << "Alpha/1/5/1;Beta/30/40/2;Gamma/10/20/3"
                                          << "A;B;C";
        QTest::newRow("everything edited keeps its place") << three << "Alpha/1/5/1;X/50/60/9;Gamma/10/20/3"
                                                           << "A;B;C";
        QTest::newRow("deleted and renamed at once") << three << "Renamed/3/9/2;Gamma/10/20/3"
                                                     << "B;C";
        QTest::newRow("new one before the others")
            << three << "New/100/110/7;Alpha/1/5/1;Beta/3/9/2;Gamma/10/20/3"
            << "*;A;B;C";
        QTest::newRow("twins keep their order") << "A=Same/1/2/1;B=Same/1/2/1"
                                                << "Same/1/2/1;Same/1/2/1"
                                                << "A;B";
        QTest::newRow("first sync: by position") << ""
                                                 << "Alpha/1/5/1;Beta/3/9/2"
                                                 << "2026-project-0@tolva;2026-project-1@tolva";
    }
    void projectsKeepTheirUids()
    {
        QFETCH(QString, known);
        QFETCH(QString, now);
        QFETCH(QString, uids);
        const auto event = [](const QString& text) {
            const QStringList f = text.split(QLatin1Char('/'));
            CalendarEvent e;
            e.kind = CalendarEvent::Kind::Project;
            e.summary = f[0];
            e.start = QDate(2026, 1, 1).addDays(f[1].toInt());
            e.endExclusive = QDate(2026, 1, 1).addDays(f[2].toInt() + 1);
            e.hasColor = true;
            e.color = f[3].toUInt();
            return e;
        };
        QList<ProjectIdentity::Known> k;
        for (const QString& item : known.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            k << ProjectIdentity::Known{item.section(QLatin1Char('='), 0, 0), k.size(),
                                        event(item.section(QLatin1Char('='), 1))};
        QList<ProjectIdentity::Project> n;
        for (const QString& item : now.split(QLatin1Char(';')))
            n << ProjectIdentity::Project{n.size(), event(item)};
        const QStringList got = ProjectIdentity::match(n, k, 2026);
        const QStringList expected = uids.split(QLatin1Char(';'));
        QCOMPARE(got.size(), expected.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            if (expected[i] == QLatin1String("*")) {
                QVERIFY2(got[i].startsWith(QLatin1String("2026-project-")) && !expected.contains(got[i]),
                         qPrintable(got[i]));
                continue;
            }
            QCOMPARE(got[i], expected[i]);
        }
        QCOMPARE(QSet<QString>(got.begin(), got.end()).size(), got.size());
    }

    // Why: sync rests on this decision. Each row is one item: a wrong step loses an edit made on the phone
    // or in the planner, or leaves a double on the calendar.
    void syncDecidesEachItem_data()
    {
        // local "uid:content"; known "uid:href:etag:content"; remote "href:etag[:uid:content[:flags]]",
        // flags f = foreign, u = the year cannot hold it. Contents are single letters.
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("known");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<bool>("preferServer");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("expected"); // "toServer/ifMatch/here/base/conflict"
        QTest::newRow("unchanged") << "a:x"
                                   << "a:/c/a.ics:e1:x"
                                   << "/c/a.ics:e1" << false << true << "none//none/keep/0";
        QTest::newRow("changed here") << "a:y"
                                      << "a:/c/a.ics:e1:x"
                                      << "/c/a.ics:e1" << false << true << "update/e1/none/local/0";
        QTest::newRow("changed there") << "a:x"
                                       << "a:/c/a.ics:e1:x"
                                       << "/c/a.ics:e2:a:z" << false << true << "none//apply/remote/0";
        QTest::newRow("saved again unchanged there")
            << "a:x"
            << "a:/c/a.ics:e1:x"
            << "/c/a.ics:e2:a:x" << false << true << "none//none/remote/0";
        QTest::newRow("both changed alike") << "a:y"
                                            << "a:/c/a.ics:e1:x"
                                            << "/c/a.ics:e2:a:y" << false << true << "none//none/remote/0";
        QTest::newRow("both changed: the planner wins")
            << "a:y"
            << "a:/c/a.ics:e1:x"
            << "/c/a.ics:e2:a:z" << false << true << "update/e2/none/local/1";
        QTest::newRow("both changed: the server wins")
            << "a:y"
            << "a:/c/a.ics:e1:x"
            << "/c/a.ics:e2:a:z" << true << true << "none//apply/remote/1";
        QTest::newRow("removed here") << ""
                                      << "a:/c/a.ics:e1:x"
                                      << "/c/a.ics:e1" << false << true << "delete/e1/none/drop/0";
        QTest::newRow("removed there") << "a:x"
                                       << "a:/c/a.ics:e1:x"
                                       << "" << false << true << "none//remove/drop/0";
        QTest::newRow("removed on both") << ""
                                         << "a:/c/a.ics:e1:x"
                                         << "" << false << true << "none//none/drop/0";
        QTest::newRow("changed here, removed there: the planner's comes back")
            << "a:y"
            << "a:/c/a.ics:e1:x"
            << "" << false << true << "create//none/local/1";
        QTest::newRow("changed here, removed there: the server wins")
            << "a:y"
            << "a:/c/a.ics:e1:x"
            << "" << true << true << "none//remove/drop/1";
        QTest::newRow("removed here, changed there: the planner wins")
            << ""
            << "a:/c/a.ics:e1:x"
            << "/c/a.ics:e2:a:z" << false << true << "delete/e2/none/drop/1";
        QTest::newRow("removed here, changed there: the server's comes back")
            << ""
            << "a:/c/a.ics:e1:x"
            << "/c/a.ics:e2:a:z" << true << true << "none//apply/remote/1";
        QTest::newRow("new here") << "a:x"
                                  << ""
                                  << "" << false << true << "create//none/local/0";
        QTest::newRow("new there, ours") << ""
                                         << ""
                                         << "/c/a.ics:e1:a:x" << false << true << "none//apply/remote/0";
        QTest::newRow("new on both alike (a run cut short after its PUT)")
            << "a:x"
            << ""
            << "/c/a.ics:e1:a:x" << false << true << "none//none/remote/0";
        QTest::newRow("new on both, different")
            << "a:x"
            << ""
            << "/c/a.ics:e1:a:z" << false << true << "update/e1/none/local/1";
        QTest::newRow("a foreign all-day event becomes red days")
            << ""
            << ""
            << "/c/f.ics:e1:a:z:f" << false << true << "none//import/foreign/0";
        QTest::newRow("a foreign timed event stays")
            << ""
            << ""
            << "/c/f.ics:e1:a:z:fu" << false << true << "none//none/foreign/0";
        QTest::newRow("pull: a change here waits") << "a:y"
                                                   << "a:/c/a.ics:e1:x"
                                                   << "/c/a.ics:e1" << false << false << "none//none/keep/0";
        QTest::newRow("pull: a change there comes in")
            << "a:x"
            << "a:/c/a.ics:e1:x"
            << "/c/a.ics:e2:a:z" << false << false << "none//apply/remote/0";
    }
    void syncDecidesEachItem()
    {
        QFETCH(QString, local);
        QFETCH(QString, known);
        QFETCH(QString, remote);
        QFETCH(bool, preferServer);
        QFETCH(bool, outgoing);
        QFETCH(QString, expected);
        QList<SyncDecision::Local> l;
        for (const QStringList& i : items(local))
            l << SyncDecision::Local{i[0], QStringLiteral("/c/%1.ics").arg(i[0]), i[1].toUtf8(), {}, {}};
        QList<SyncPlan::Known> k;
        for (const QStringList& i : items(known))
            k << SyncPlan::Known{i[0], i[1], i[2], {}, i[3].toUtf8(), -1, false, {}, 0, {}, {}};
        QList<SyncDecision::Remote> r;
        for (const QStringList& i : items(remote)) {
            SyncDecision::Remote x;
            x.href = i[0];
            x.etag = i[1];
            if (i.size() > 2) {
                x.fetched = true;
                x.uid = i[2];
                x.content = i[3].toUtf8();
                const QString flags = i.size() > 4 ? i[4] : QString();
                x.ours = !flags.contains(QLatin1Char('f'));
                x.holdable = !flags.contains(QLatin1Char('u'));
            }
            r << x;
        }
        const auto steps = SyncDecision::decide(
            l, k, r, preferServer ? SyncDecision::Prefer::Server : SyncDecision::Prefer::Planner, outgoing);
        QCOMPARE(steps.size(), 1);
        const SyncDecision::Step& s = steps[0];
        static const char* const to[] = {"none", "create", "update", "delete"};
        static const char* const here[] = {"none", "apply", "remove", "import"};
        static const char* const base[] = {"keep", "local", "remote", "drop", "foreign"};
        QCOMPARE(QStringLiteral("%1/%2/%3/%4/%5")
                     .arg(QLatin1String(to[int(s.toServer)]), s.ifMatch, QLatin1String(here[int(s.here)]),
                          QLatin1String(base[int(s.base)]))
                     .arg(int(s.conflict)),
                 expected);
    }

    // Why: the red days a foreign event gives over several days are that object's: sent as ours they
    // would stand twice on the phone; left behind when the phone deletes it they would never go; a day
    // changed in the planner must neither be lost nor shadowed by the phone's version.
    void foreignDaysStayTheirs_data()
    {
        // local red days "key:hash"; the days the last sync tied to the foreign event; the server's
        // object now (same, changed, gone). Expected: "here/dropped/kept/created".
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("there");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unchanged: nothing goes out") << "a:1,b:1"
                                                     << "a:1,b:1"
                                                     << "same"
                                                     << "none//a,b/";
        QTest::newRow("a day changed here becomes ours alone") << "a:1,b:2"
                                                               << "a:1,b:1"
                                                               << "same"
                                                               << "none//a/b";
        QTest::newRow("a day removed here only leaves the group") << "a:1"
                                                                  << "a:1,b:1"
                                                                  << "same"
                                                                  << "none//a/";
        QTest::newRow("changed there: given again") << "a:1,b:1"
                                                    << "a:1,b:1"
                                                    << "changed"
                                                    << "import/a,b//";
        QTest::newRow("changed there, a day changed here stays ours") << "a:1,b:2"
                                                                      << "a:1,b:1"
                                                                      << "changed"
                                                                      << "import/a//b";
        QTest::newRow("deleted there: its days go") << "a:1,b:1"
                                                    << "a:1,b:1"
                                                    << "gone"
                                                    << "remove/a,b//";
        QTest::newRow("deleted there, a day changed here stays") << "a:1,b:2"
                                                                 << "a:1,b:1"
                                                                 << "gone"
                                                                 << "remove/a//b";
        QTest::newRow("deleted there, every day changed here") << "a:2,b:2"
                                                               << "a:1,b:1"
                                                               << "gone"
                                                               << "none///a,b";
    }
    void foreignDaysStayTheirs()
    {
        QFETCH(QString, local);
        QFETCH(QString, days);
        QFETCH(QString, there);
        QFETCH(QString, expected);
        QList<SyncDecision::Local> l;
        for (const QString& item : local.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString key = item.section(QLatin1Char(':'), 0, 0);
            l << SyncDecision::Local{QStringLiteral("red-") + key, QStringLiteral("/c/red-%1.ics").arg(key),
                                     item.toUtf8(), key, item.section(QLatin1Char(':'), 1).toUtf8()};
        }
        SyncPlan::Known k;
        k.uid = QStringLiteral("holiday");
        k.href = QStringLiteral("/c/holiday.ics");
        k.etag = QStringLiteral("e1");
        k.foreign = true;
        for (const QString& item : days.split(QLatin1Char(','), Qt::SkipEmptyParts))
            k.days.insert(item.section(QLatin1Char(':'), 0, 0), item.section(QLatin1Char(':'), 1).toUtf8());
        QList<SyncDecision::Remote> r;
        if (there != QLatin1String("gone")) {
            SyncDecision::Remote x;
            x.href = k.href;
            x.etag = there == QLatin1String("same") ? QStringLiteral("e1") : QStringLiteral("e2");
            x.fetched = there != QLatin1String("same");
            x.uid = k.uid;
            x.content = "z";
            x.holdable = true;
            r << x;
        }
        const auto steps = SyncDecision::decide(l, {k}, r, SyncDecision::Prefer::Planner);
        QStringList created;
        QString group;
        static const char* const here[] = {"none", "apply", "remove", "import"};
        for (const SyncDecision::Step& s : steps) {
            if (s.uid == k.uid) {
                QStringList kept = s.keepDays.keys();
                kept.sort();
                group = QStringLiteral("%1/%2/%3/")
                            .arg(QLatin1String(here[int(s.here)]), s.dropDays.join(QLatin1Char(',')),
                                 kept.join(QLatin1Char(',')));
                continue;
            }
            QVERIFY2(s.toServer == SyncDecision::ToServer::Create, qPrintable(s.uid));
            created << s.uid.mid(4);
        }
        created.sort();
        QCOMPARE(group + created.join(QLatin1Char(',')), expected);
    }

    // Why: iCalendar is UTF-8, but files from old programs are not; a text read as something else is
    // stored garbled, so each such line is read as Windows-1252 and named.
    void inputIsUtf8OrNamed_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QStringList>("warnings");
        const QByteArray head =
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:x\r\nDTSTART;VALUE=DATE:20260216\r\n";
        const QByteArray tail = "END:VEVENT\r\nEND:VCALENDAR\r\n";
        QTest::newRow("UTF-8") << head + "SUMMARY:Fasching f\xc3\xbcr alle\r\n" + tail
                               << QStringLiteral("Fasching für alle") << QStringList();
        QTest::newRow("Windows-1252")
            << head + "SUMMARY:Fasching f\xfcr \x80 5\r\n" + tail << QStringLiteral("Fasching für € 5")
            << QStringList{QStringLiteral("line 6 is not UTF-8; read as Windows-1252")};
        QTest::newRow("folded, UTF-8 split across the fold")
            << head + "SUMMARY:Fasching f\xc3\r\n \xbcr alle\r\n" + tail
            << QStringLiteral("Fasching für alle") << QStringList();
        QTest::newRow("folded Windows-1252 named by its first line")
            << head + "SUMMARY:Fasching\r\n  f\xfcr alle\r\n" + tail << QStringLiteral("Fasching für alle")
            << QStringList{QStringLiteral("line 6 is not UTF-8; read as Windows-1252")};
    }
    void inputIsUtf8OrNamed()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, summary);
        QFETCH(QStringList, warnings);
        QList<CalendarEvent> events;
        QString error;
        QStringList got;
        QVERIFY(ICalendarFile::readEvents(input, events, error, &got));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].summary, summary);
        QCOMPARE(got, warnings);
    }

    // Why: listings come from many servers; a reply we misread would make every event look changed or gone,
    // and a damaged one must stop the publish instead of being taken for an empty calendar.
    void multistatusIsReadOrRefused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected"); // "href etag flags|..." or "error: text"
        QTest::newRow("listing with a 404 propstat")
            << QByteArray(
                   "<?xml version='1.0'?><multistatus xmlns='DAV:' xmlns:C='urn:ietf:params:xml:ns:caldav'>"
                   "<response><href>/u/cal/</href><propstat><prop><resourcetype><collection/><C:calendar/>"
                   "</resourcetype><getetag>\"c1\"</getetag></prop><status>HTTP/1.1 200 "
                   "OK</status></propstat>"
                   "</response><response><href>/u/cal/a%40b.ics</href><propstat><prop><getetag>\"e1\"</"
                   "getetag>"
                   "<resourcetype/></prop><status>HTTP/1.1 200 OK</status></propstat><propstat><prop>"
                   "<getcontenttype/></prop><status>HTTP/1.1 404 Not Found</status></propstat></response>"
                   "</multistatus>")
            << "/u/cal/ \"c1\" CK|/u/cal/a%40b.ics \"e1\" -";
        QTest::newRow("etag only under a 404")
            << QByteArray(
                   "<D:multistatus xmlns:D='DAV:'><D:response><D:href>x.ics</D:href><D:propstat><D:prop>"
                   "<D:getetag>\"no\"</D:getetag></D:prop><D:status>HTTP/1.1 404 Not "
                   "Found</D:status></D:propstat>"
                   "</D:response></D:multistatus>")
            << "x.ics  -";
        QTest::newRow("calendar data and unknown elements")
            << QByteArray("<D:multistatus xmlns:D='DAV:' xmlns:C='urn:ietf:params:xml:ns:caldav'><D:response>"
                          "<D:href>e.ics</D:href><X:odd xmlns:X='x'><D:href>not this</D:href></X:odd>"
                          "<D:propstat><D:prop><C:calendar-data>BEGIN:VCALENDAR&#13;\nEND:VCALENDAR"
                          "</C:calendar-data></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                          "</D:response></D:multistatus>")
            << "e.ics  D";
        QTest::newRow("not XML") << QByteArray("<html><body>Welcome") << "error: not a WebDAV multistatus";
        QTest::newRow("cut off") << QByteArray("<D:multistatus xmlns:D='DAV:'><D:response><D:href>a</D:href>")
                                 << "error: broken XML";
        QTest::newRow("other namespace")
            << QByteArray("<multistatus><response/></multistatus>") << "error: not a WebDAV multistatus";
        QTest::newRow("response without href")
            << QByteArray("<D:multistatus xmlns:D='DAV:'><D:response><D:status>HTTP/1.1 200 OK</D:status>"
                          "</D:response></D:multistatus>")
            << "error: a response without an href";
        QTest::newRow("empty") << QByteArray() << "error: not";
    }
    void multistatusIsReadOrRefused()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        QList<MultiStatus::Response> responses;
        QString error;
        const bool ok = MultiStatus::parse(xml, responses, error);
        if (expected.startsWith(QLatin1String("error: "))) {
            QVERIFY(!ok);
            QVERIFY2(error.startsWith(expected.mid(7)), qPrintable(error));
            QVERIFY(responses.isEmpty());
            return;
        }
        QVERIFY2(ok, qPrintable(error));
        QStringList got;
        for (const MultiStatus::Response& r : responses) {
            QString flags = (r.isCollection ? QStringLiteral("C") : QString()) +
                            (r.isCalendar ? QStringLiteral("K") : QString()) +
                            (r.calendarData.isEmpty() ? QString() : QStringLiteral("D"));
            got << QStringLiteral("%1 %2 %3")
                       .arg(r.href, r.etag, flags.isEmpty() ? QStringLiteral("-") : flags);
        }
        QCOMPARE(got.join(QLatin1Char('|')), expected);
    }

    // Why: the password must come from the user's own files and go only where it is safe to send it.
    void netrcGivesTheHostsLogin_data()
    {
        QTest::addColumn<QByteArray>("netrc");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("expected"); // "login/password" or "none"
        const QByteArray two = "machine cal.example.org login bob password pw1\n"
                               "machine cal.example.org login alice password \"pw 2\\\"x\"\n"
                               "default login anon password guest\n";
        QTest::newRow("first entry of the host") << two << ""
                                                 << "bob/pw1";
        QTest::newRow("entry with the user") << two << "alice"
                                             << "alice/pw 2\"x";
        QTest::newRow("default for an unknown user") << two << "carol"
                                                     << "none";
        QTest::newRow("default for another host")
            << QByteArray("machine other login x password y\ndefault login anon password guest") << ""
            << "anon/guest";
        QTest::newRow("one line, macro skipped")
            << QByteArray("macdef init\nmachine cal.example.org login m password macro\n\n"
                          "machine cal.example.org login z password zz account a")
            << ""
            << "z/zz";
        QTest::newRow("empty file") << QByteArray() << ""
                                    << "none";
    }
    void netrcGivesTheHostsLogin()
    {
        QFETCH(QByteArray, netrc);
        QFETCH(QString, user);
        QFETCH(QString, expected);
        QString login, password;
        const bool found =
            CalDavAccount::fromNetrc(netrc, QStringLiteral("cal.example.org"), user, login, password);
        QCOMPARE(found ? login + QLatin1Char('/') + password : QStringLiteral("none"), expected);
    }

    void urlRules_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("insecure");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << "https://cal.example.org/u/c/" << false << true;
        QTest::newRow("http to 127.0.0.1") << "http://127.0.0.1:5232/u/c/" << false << true;
        QTest::newRow("http to 127.1.2.3") << "http://127.1.2.3/u/c/" << false << true;
        QTest::newRow("http to ::1") << "http://[::1]:5232/u/c/" << false << true;
        QTest::newRow("http to localhost") << "http://localhost/u/c/" << false << true;
        QTest::newRow("http elsewhere") << "http://cal.example.org/u/c/" << false << false;
        QTest::newRow("http elsewhere, allowed") << "http://cal.example.org/u/c/" << true << true;
        QTest::newRow("http to a LAN address") << "http://192.168.1.2/u/c/" << false << false;
        QTest::newRow("password in the URL") << "https://u:pw@cal.example.org/c/" << false << false;
        QTest::newRow("other scheme") << "ftp://cal.example.org/c/" << true << false;
        QTest::newRow("no host") << "https:///c/" << false << false;
    }
    void urlRules()
    {
        QFETCH(QString, url);
        QFETCH(bool, insecure);
        QFETCH(bool, accepted);
        QString error;
        QCOMPARE(CalDavAccount::checkUrl(QUrl(url), insecure, error), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        QVERIFY(!error.contains(QLatin1String(":pw@")));
    }

    // Why: a calendar shows summaries in one line; a long project name must not be lost for it either.
    void longProjectNameIsCutInTheSummaryAndKeptWhole()
    {
        YearData y;
        y.reset();
        y.m_settings.m_stSelected = Calendar::makeDate(2026, 1, 1);
        ProjectRecord p{};
        p.m_stStart = Calendar::makeDate(2026, 3, 1);
        p.m_stEnd = Calendar::makeDate(2026, 3, 2);
        const QString name = QString(255, QLatin1Char('n'));
        y.m_projects.append(p);
        y.m_names.append(name.toLatin1());
        QStringList notes;
        const QList<CalendarEvent> events = CalendarExport::events(y, notes);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].summary.size(), CalendarExport::kMaxSummaryLength);
        QString zone;
        QList<CalendarEvent> back;
        QString error;
        QVERIFY(ICalendarFile::readEvents(
            ICalendarFile::write(events, "UTC", QDateTime::currentDateTimeUtc(), zone), back, error));
        QCOMPARE(back[0].description, name);
        QCOMPARE(back[0].text(), name);
    }

    // Why: a lost or misread state would take every event of ours for a stranger's.
    void publishStateRoundTripsOrIsRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("missing file") << QByteArray() << true;
        QTest::newRow("not JSON") << QByteArray("{\"format\": 1, \"coll") << false;
        QTest::newRow("other format") << QByteArray("{\"format\": 5, \"collections\": []}") << false;
        QTest::newRow("format 2 of an older run")
            << QByteArray("{\"format\":2,\"collections\":[{\"url\":\"u\",\"events\":[{\"uid\":\"a\","
                          "\"href\":\"/u/a.ics\",\"etag\":\"1\",\"hash\":\"ff\",\"foreign\":true}]}]}")
            << true;
        QTest::newRow("days of a foreign event")
            << QByteArray("{\"format\":3,\"collections\":[{\"url\":\"u\",\"events\":[{\"uid\":\"a\","
                          "\"href\":\"/u/a.ics\",\"foreign\":true,\"days\":{\"red/2026-05-01\":\"ab\"}}]}]}")
            << true;
        // Format 3 took a one-day event of another client over as ours; it is that client's again.
        QTest::newRow("one-day event taken over")
            << QByteArray("{\"format\":3,\"collections\":[{\"url\":\"u\",\"events\":[{\"uid\":\"team@phone\","
                          "\"href\":\"/u/team.ics\",\"etag\":\"7\",\"key\":\"red/2026-06-12\",\"content\":"
                          "\"BEGIN:VCALENDAR\\r\\nBEGIN:VEVENT\\r\\nUID:team@phone\\r\\nDTSTART;VALUE=DATE:"
                          "20260612\\r\\n"
                          "DTEND;VALUE=DATE:20260613\\r\\nSUMMARY:Team day\\r\\nX-TOLVA-KIND:red-day\\r\\n"
                          "END:VEVENT\\r\\nEND:VCALENDAR\\r\\n\"}],\"syncToken\":\"t1\"}]}")
            << true;
        QTest::newRow("days damaged")
            << QByteArray("{\"format\":3,\"collections\":[{\"url\":\"u\",\"events\":[{\"uid\":\"a\","
                          "\"href\":\"/u/a.ics\",\"foreign\":true,\"days\":[\"red/2026-05-01\"]}]}]}")
            << false;
        QTest::newRow("event without href")
            << QByteArray("{\"format\":1,\"collections\":[{\"url\":\"u\",\"events\":[{\"uid\":\"a\"}]}]}")
            << false;
        QTest::newRow("collection twice") << QByteArray("{\"format\":1,\"collections\":[{\"url\":\"u\","
                                                        "\"events\":[]},{\"url\":\"u\",\"events\":[]}]}")
                                          << false;
    }
    void publishStateRoundTripsOrIsRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QTemporaryDir dir;
        const QString path = dir.filePath(PublishState::fileName(2026));
        if (!json.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(json);
        }
        PublishState state;
        QString error;
        QCOMPARE(state.load(path, error), valid);
        QCOMPARE(error.isEmpty(), valid);
        if (!valid)
            return;
        QList<SyncPlan::Known> events{{QStringLiteral("b@t"),
                                       QStringLiteral("/c/b@t.ics"),
                                       QStringLiteral("\"2\""),
                                       "\x01\x02",
                                       "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n",
                                       3,
                                       false,
                                       QStringLiteral("project"),
                                       2,
                                       QStringLiteral("2026-03-01T10:00:00Z"),
                                       {}},
                                      {QStringLiteral("a@t"),
                                       QStringLiteral("/c/a@t.ics"),
                                       QStringLiteral("\"1\""),
                                       "\xff",
                                       {},
                                       -1,
                                       true,
                                       {},
                                       0,
                                       {},
                                       {}}};
        const QList<SyncPlan::Known> before = state.events(QStringLiteral("u"));
        if (!before.isEmpty() && before[0].uid == QLatin1String("team@phone")) {
            QVERIFY(state.migrated());
            QVERIFY(before[0].foreign && before[0].content.isEmpty());
            QCOMPARE(before[0].days.keys(), QStringList{QStringLiteral("red/2026-06-12")});
            QCOMPARE(state.syncToken(QStringLiteral("u")), QStringLiteral("t1"));
        }
        events[1].days.insert(QStringLiteral("red/2026-05-02"), "\x0a\x0b");
        state.setEvents(QStringLiteral("https://h/c/"), events);
        PublishState::Listing listing;
        listing.token = QStringLiteral("http://radicale.org/ns/sync/9");
        listing.etags.insert(QStringLiteral("/c/b@t.ics"), QStringLiteral("\"3\""));
        listing.yearStamp = "\x0c\x0d";
        state.setListing(QStringLiteral("https://h/c/"), listing);
        QCOMPARE(QJsonDocument::fromJson(state.toJson())["format"].toInt(), 4);
        const bool wasMigrated = state.migrated();
        QVERIFY(state.save(path, error));
        // The state an older format wrote is kept beside the new one.
        QCOMPARE(QFile::exists(PublishState::oldFormatCopy(path)), wasMigrated && !json.isEmpty());
        PublishState back;
        QVERIFY(back.load(path, error));
        QCOMPARE(back.toJson(), state.toJson());
        const QList<SyncPlan::Known> read = back.events(QStringLiteral("https://h/c/"));
        QCOMPARE(read.size(), 2);
        QCOMPARE(read[0].uid, QStringLiteral("a@t"));
        QCOMPARE(read[0].hash, QByteArray("\xff"));
        QCOMPARE(read[1].etag, QStringLiteral("\"2\""));
        QCOMPARE(read[1].content, events[0].content);
        QCOMPARE(read[1].position, 3);
        QCOMPARE(read[1].sequence, 2);
        QCOMPARE(read[1].modified, events[0].modified);
        QCOMPARE(read[1].key, QStringLiteral("project"));
        QVERIFY(read[0].foreign && !read[1].foreign);
        QCOMPARE(read[0].days, events[1].days);
        QCOMPARE(back.syncToken(QStringLiteral("https://h/c/")),
                 QStringLiteral("http://radicale.org/ns/sync/9"));
    }

    // Why: each refusal must tell the user which URL answered what, and what to do about it.
    void failureLinesNameUrlAndStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("networkError");
        QTest::addColumn<QString>("expected");
        QTest::newRow("401") << 401 << "Unauthorized"
                             << ""
                             << "HTTP 401 Unauthorized: the server did not accept";
        QTest::newRow("403") << 403 << "Forbidden"
                             << ""
                             << "HTTP 403 Forbidden: the server does not let";
        QTest::newRow("404") << 404 << "Not Found"
                             << ""
                             << "HTTP 404 Not Found: nothing is at this URL";
        QTest::newRow("412 on a race") << 412 << "Precondition Failed"
                                       << ""
                                       << "HTTP 412 Precondition Failed: someone changed the event";
        QTest::newRow("500") << 500 << "Internal Server Error"
                             << ""
                             << "HTTP 500 Internal Server Error";
        QTest::newRow("refused") << 0 << ""
                                 << "Connection refused"
                                 << "Connection refused";
        QTest::newRow("timeout") << 0 << ""
                                 << "no answer within 30 s"
                                 << "no answer within 30 s";
    }
    void failureLinesNameUrlAndStatus()
    {
        QFETCH(int, status);
        QFETCH(QString, reason);
        QFETCH(QString, networkError);
        QFETCH(QString, expected);
        const CalDavClient client(QByteArray{});
        CalDavClient::Reply reply;
        reply.status = status;
        reply.reason = reason;
        reply.networkError = networkError;
        const QString line = client.describeFailure(
            {"PUT", QUrl(QStringLiteral("https://anna@cal.example.org/c/a%40tolva.ics")), {}, {}}, reply);
        QCOMPARE(line, QStringLiteral("https://cal.example.org/c/a%40tolva.ics: ") +
                           line.mid(line.indexOf(QLatin1String(".ics: ")) + 6));
        QVERIFY2(line.contains(QStringLiteral(".ics: ") + expected), qPrintable(line));
        QVERIFY(!line.contains(QLatin1String("anna")));
    }

    // Why: a server that answers with a broken listing, or not at all, must give one line naming the URL.
    void badAnswersAreOneLine_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("malformed multistatus")
            << withBody("HTTP/1.1 207 Multi-Status", "<D:multistatus xmlns:D='DAV:'><D:respons")
            << "HTTP 207, but the multistatus is malformed";
        QTest::newRow("not a calendar")
            << withBody("HTTP/1.1 207 Multi-Status",
                        "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/cal/</D:href></D:response>"
                        "</D:multistatus>")
            << "not a calendar collection";
        QTest::newRow("no multistatus") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi")
                                        << "HTTP 200 OK: expected a WebDAV multistatus";
        QTest::newRow("forbidden") << QByteArray("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
                                   << "HTTP 403 Forbidden: the server does not let";
        QTest::newRow("no answer") << QByteArray() << "no answer within 0.3 s";
        QTest::newRow("answer cut off") << withBody("HTTP/1.1 207 Multi-Status", "<D:multistatus>")
                                               .replace("Content-Length: 15", "Content-Length: 99")
                                        << "HTTP 207 Multi-Status: no answer within 0.3 s";
    }
    void badAnswersAreOneLine()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        CannedServer server({reply});
        CalDavClient client(QByteArray("Basic eDp5"));
        client.setTimeout(300);
        QList<MultiStatus::Response> members;
        QString error;
        QVERIFY(!client.list(server.url(), members, error));
        QVERIFY2(error.startsWith(server.url().toString() + QStringLiteral(": ")), qPrintable(error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(!error.contains(QLatin1Char('\n')));
        QCOMPARE(client.requestCount(), 1);
    }

    // Why: an incremental sync trusts this delta alone: a member missed here stays stale on one side, and
    // a refused token must lead to a full listing, never to "nothing changed".
    void changesSinceGivesTheDelta_data()
    {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("expected"); // "status|token|changed href=etag|removed", or "error"
        const auto ms = [](const QByteArray& inner) {
            return withBody("HTTP/1.1 207 Multi-Status",
                            "<multistatus xmlns='DAV:'>" + inner + "</multistatus>");
        };
        const auto at = [](const char* href, const char* what) {
            return "<response><href>" + QByteArray(href) + "</href>" +
                   (what[0] == '"' ? "<propstat><prop><getetag>" + QByteArray(what) +
                                         "</getetag></prop><status>HTTP/1.1 200 OK</status></propstat>"
                                   : "<status>HTTP/1.1 " + QByteArray(what) + "</status>") +
                   "</response>";
        };
        QTest::newRow("changed, removed")
            << QByteArrayList{ms("<sync-token>t2</sync-token>" + at("/cal/", "200 OK") +
                                 at("a%20b.ics", "\"1\"") + at("c.ics", "404 -") + at("/cal/sub/", "404 -"))}
            << "0|t2|a%20b.ics=\"1\"|/cal/c.ics";
        QTest::newRow("truncated, then the rest")
            << QByteArrayList{ms("<sync-token>t1</sync-token>" + at("a.ics", "\"1\"") + at("/cal/", "507 -")),
                              ms("<sync-token>t2</sync-token>" + at("d.ics", "\"4\"") + at("a.ics", "404 -"))}
            << "0|t2|d.ics=\"4\"|/cal/a.ics";
        QTest::newRow("no token") << QByteArrayList{ms(at("a.ics", "\"1\""))} << "2|||";
        QTest::newRow("token refused")
            << QByteArrayList{withBody("HTTP/1.1 403 Forbidden",
                                       "<error xmlns='DAV:'><valid-sync-token/></error>")}
            << "1|||";
        QTest::newRow("server error") << QByteArrayList{withBody("HTTP/1.1 500 Server Error", "")} << "error";
    }
    void changesSinceGivesTheDelta()
    {
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, expected);
        CannedServer server(replies);
        CalDavClient client(QByteArray("Basic eDp5"));
        QList<MultiStatus::Response> changed;
        QStringList removed, pairs;
        QString token, error;
        CalDavClient::DeltaStatus status{};
        const bool ok =
            client.changesSince(server.url(), QStringLiteral("t0"), changed, removed, token, status, error);
        QCOMPARE(ok, expected != QLatin1String("error"));
        if (!ok)
            return;
        for (const MultiStatus::Response& r : changed)
            pairs << r.href + QLatin1Char('=') + r.etag;
        QCOMPARE(QStringList({QString::number(int(status)), token, pairs.join(u','), removed.join(u',')})
                     .join(u'|'),
                 expected);
        QVERIFY(server.received().contains(replies.size() > 1 ? ">t1<" : ">t0<")); // the follow-up's token
    }
};

QTEST_GUILESS_MAIN(TstCalDavSync)
#include "tst_caldav_sync.moc"
