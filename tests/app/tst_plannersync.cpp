// The planner syncing itself against a real CalDAV server (Radicale on 127.0.0.1), python3-caldav as the
// phone: through the registry's open document, with conflicts left to the user and a mass deletion asked.
#include "Calendar.h"
#include "ConflictStore.h"
#include "ConflictsDialog.h"
#include "DataStore.h"
#include "DocumentYear.h"
#include "PlannerSync.h"
#include "RadicaleServer.h"
#include "TextCodec.h"
#include "YearDocument.h"
#include "YearRegistry.h"

#include <QComboBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kYear = 2026;

int day(int month, int d)
{
    return Calendar::dayOfYear(kYear, month, d);
}

QString memoUid(int d)
{
    return QStringLiteral("2026-03-%1-memo@tolva").arg(d, 2, 10, QLatin1Char('0'));
}

} // namespace

class TstPlannerSync : public QObject
{
    Q_OBJECT

private:
    QString peer(const QStringList& args) { return m_server.peer(TOLVA_CALDAV_PEER, args); }
    QString memo(int d) const { return TextCodec::decode(m_document->data().m_memos.at(day(3, d))); }

    RadicaleServer m_server;
    QTemporaryDir m_dir;
    DataStore m_store;
    std::unique_ptr<YearRegistry> m_registry;
    std::shared_ptr<YearDocument> m_document;
    std::unique_ptr<PlannerSync> m_sync;

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        QString error;
        QVERIFY2(m_server.start(error), qPrintable(error));
        QCOMPARE(peer({QStringLiteral("make"), QStringLiteral("planner")}), QString());
        QVERIFY(m_store.CaptureWorkDir(m_dir.path()).ok());
        m_registry = std::make_unique<YearRegistry>(m_store, DisplaySettings{});
        m_document = m_registry->open(kYear);
        for (int d = 1; d <= 4; ++d)
            m_document->setMemo(day(3, d), "Memo " + QByteArray::number(d));
        QVERIFY(m_registry->save(*m_document));
        m_sync = std::make_unique<PlannerSync>(*m_registry, m_dir.filePath(QStringLiteral("YEARS")));
        m_sync->setAccount({QUrl(m_server.calendarUrl(QStringLiteral("planner"))),
                            QLatin1String(RadicaleServer::kUser), QString(), false, QDateTime()});
        m_sync->setPassword(QLatin1String(RadicaleServer::kPassword));
    }

    // Why: Sync Now is the whole feature for the user: the year goes out, and what the phone changed comes
    // into the open document, which every window of the year repaints from.
    void syncNowGoesOutAndComesIn()
    {
        m_sync->syncNow();
        QVERIFY2(m_sync->statusText().startsWith(QStringLiteral("Synced ")),
                 qPrintable(m_sync->details().join('\n')));
        QVERIFY(peer({QStringLiteral("dump"), QStringLiteral("planner")}).contains(QStringLiteral("Memo 3")));
        QCOMPARE(peer({QStringLiteral("set"), QStringLiteral("planner"), memoUid(2),
                       QStringLiteral("DESCRIPTION"), QStringLiteral("From the phone")}),
                 QString());
        QSignalSpy repaint(m_document.get(), &YearDocument::changed);
        m_sync->syncNow();
        QCOMPARE(memo(2), QStringLiteral("From the phone"));
        QVERIFY(repaint.count() > 0);
    }

    // Why: an edit made while the server answers is the user's latest word: the sync must not write over it.
    void anEditWhileTheServerAnswersIsKept()
    {
        DocumentYear year(*m_registry, m_dir.filePath(QStringLiteral("YEARS")), kYear);
        QString error;
        QVERIFY(year.read(error));
        m_document->setMemo(day(3, 4), "Typed meanwhile");
        QVERIFY(!year.edit(error));
        QVERIFY(year.read(error));
        QVERIFY(year.edit(error));
    }

    // Why: an automatic sync never decides a conflict by itself; the user does, per item, and both versions
    // are kept until then.
    void aConflictWaitsForTheUser()
    {
        QCOMPARE(peer({QStringLiteral("set"), QStringLiteral("planner"), memoUid(1),
                       QStringLiteral("DESCRIPTION"), QStringLiteral("Phone's 1")}),
                 QString());
        m_document->setMemo(day(3, 1), "Planner's 1");
        m_sync->syncNow();
        QCOMPARE(m_sync->statusText(), QStringLiteral("1 conflict"));
        m_sync->syncNow(); // and it stays one until the user chooses
        QCOMPARE(m_sync->statusText(), QStringLiteral("1 conflict"));
        QCOMPARE(memo(1), QStringLiteral("Planner's 1"));
        QVERIFY(
            peer({QStringLiteral("dump"), QStringLiteral("planner")}).contains(QStringLiteral("Phone's 1")));

        const QString path = m_dir.filePath(QStringLiteral("YEARS/") + ConflictStore::fileName(kYear));
        ConflictsDialog dialog(path);
        auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("conflicts"));
        QCOMPARE(table->rowCount(), 1);
        QVERIFY(table->item(0, 1)->text().contains(QStringLiteral("Planner's 1")));
        QVERIFY(table->item(0, 2)->text().contains(QStringLiteral("Phone's 1")));
        auto* keep = static_cast<QComboBox*>(table->cellWidget(0, 3));
        keep->setFocus();
        QTest::keyClick(keep, Qt::Key_Down);
        QTest::keyClick(keep, Qt::Key_Down);
        QCOMPARE(keep->currentIndex(), 2);
        QString error;
        QVERIFY(dialog.apply(error));
        m_sync->syncNow();
        QCOMPARE(memo(1), QStringLiteral("Phone's 1"));
        QVERIFY2(m_sync->statusText().startsWith(QStringLiteral("Synced ")),
                 qPrintable(m_sync->statusText()));
    }

    // Why: a calendar emptied on the server must not empty the year unless the user says so.
    void anEmptiedCalendarAsksFirst()
    {
        for (int d = 1; d <= 4; ++d)
            QCOMPARE(peer({QStringLiteral("delete"), QStringLiteral("planner"), memoUid(d)}), QString());
        QString asked;
        m_sync->setMassDeletionQuestion([&](const QString& why) {
            asked = why;
            return false;
        });
        m_sync->syncNow();
        QVERIFY2(asked.contains(QStringLiteral("gone from")), qPrintable(asked));
        QCOMPARE(memo(3), QStringLiteral("Memo 3"));
        m_sync->setMassDeletionQuestion([](const QString&) { return true; });
        m_sync->syncNow();
        QCOMPARE(memo(3), QString());
    }

    void cleanupTestCase()
    {
        m_sync.reset();
        m_document.reset();
        m_registry.reset();
        m_server.stop();
    }
};

QTEST_MAIN(TstPlannerSync)
#include "tst_plannersync.moc"
