// The parts of publish and pull that need no calendar server: the sync decision over its three tables, the
// multistatus reader, credentials and URL rules, the publish state file, and the client's failures against
// a socket that answers badly or not at all.
#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "MultiStatus.h"
#include "PublishState.h"
#include "SyncPlan.h"

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

// Answers every connection with `reply` once the request has come in; with an empty reply, never answers.
class CannedServer : public QTcpServer
{
public:
    explicit CannedServer(const QByteArray& reply) : m_reply(reply)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_request += s->readAll();
                    if (!m_reply.isEmpty() && m_request.contains("</D:propfind>"))
                        s->write(m_reply);
                });
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(serverPort())); }

private:
    QByteArray m_reply;
    QByteArray m_request;
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
            k << SyncPlan::Known{i[0], i[1], i[2], i[3].toUtf8()};
        // A stranger's object is in every listing; it must never get a step.
        QList<SyncPlan::Remote> r{{QStringLiteral("/c/foreign.ics"), QStringLiteral("f1")}};
        for (const QStringList& i : items(remote))
            r << SyncPlan::Remote{i[0], i[1]};

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

    // Why: a lost or misread state would take every event of ours for a stranger's.
    void publishStateRoundTripsOrIsRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::newRow("missing file") << QByteArray() << true;
        QTest::newRow("not JSON") << QByteArray("{\"format\": 1, \"coll") << false;
        QTest::newRow("other format") << QByteArray("{\"format\": 2, \"collections\": []}") << false;
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
        const QList<SyncPlan::Known> events{
            {QStringLiteral("b@t"), QStringLiteral("/c/b@t.ics"), QStringLiteral("\"2\""), "\x01\x02"},
            {QStringLiteral("a@t"), QStringLiteral("/c/a@t.ics"), QStringLiteral("\"1\""), "\xff"}};
        state.setEvents(QStringLiteral("https://h/c/"), events);
        QVERIFY(state.save(path, error));
        PublishState back;
        QVERIFY(back.load(path, error));
        QCOMPARE(back.toJson(), state.toJson());
        const QList<SyncPlan::Known> read = back.events(QStringLiteral("https://h/c/"));
        QCOMPARE(read.size(), 2);
        QCOMPARE(read[0].uid, QStringLiteral("a@t"));
        QCOMPARE(read[0].hash, QByteArray("\xff"));
        QCOMPARE(read[1].etag, QStringLiteral("\"2\""));
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
        CannedServer server(reply);
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
};

QTEST_GUILESS_MAIN(TstCalDavSync)
#include "tst_caldav_sync.moc"
