// The calendar account dialog driven as a user does, against a real Radicale on 127.0.0.1: Test says what
// it found or why it failed, OK stores the account, every control has a name for a screen reader and the
// dialog fits an 800x600 screen.
#include "AccountDialog.h"
#include "PasswordStore.h"
#include "RadicaleServer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void type(AccountDialog& dialog, const char* field, const QString& text)
{
    QTest::keyClicks(dialog.findChild<QLineEdit*>(QLatin1String(field)), text);
}

} // namespace

class TestAccountDialog : public QObject
{
    Q_OBJECT

    RadicaleServer m_server;
    QTemporaryDir m_config;

    QString accountPath() const { return m_config.filePath(QStringLiteral("tolva/account.json")); }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(error), qPrintable(error));
        QProcess peer;
        peer.start(QStringLiteral("/usr/bin/python3"),
                   {TOLVA_CALDAV_PEER, m_server.baseUrl(), RadicaleServer::kUser, RadicaleServer::kPassword,
                    "setup", "year", "holidays"});
        QVERIFY(peer.waitForFinished(30000) && peer.exitCode() == 0);
    }

    void testSaysWhatItFound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("result");
        QTest::newRow("calendar") << "year/" << RadicaleServer::kPassword << "Calendar \"year\" with 1 event";
        QTest::newRow("wrong password") << "year/" << QStringLiteral("guess") << "HTTP 401";
        QTest::newRow("the user's folder") << "" << RadicaleServer::kPassword << "not a calendar: ";
    }

    // Why: Test is how a user knows the account is right before a sync depends on it, and what to fix
    // when it is not; it stores nothing.
    void testSaysWhatItFound()
    {
        QFETCH(QString, path);
        QFETCH(QString, password);
        QFETCH(QString, result);
        PasswordStore passwords;
        AccountDialog dialog(passwords, accountPath());
        dialog.show();
        type(dialog, "url", m_server.baseUrl() + path);
        type(dialog, "user", RadicaleServer::kUser);
        type(dialog, "password", password);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("test")), Qt::LeftButton);
        QVERIFY2(dialog.testResult().contains(result) && !dialog.testResult().contains(password),
                 qPrintable(dialog.testResult()));
        QVERIFY(!QFile::exists(accountPath()));
    }

    // Why: the account OK stores is the one tolva-cli then uses, without the password. A screen reader
    // names every control, and the dialog fits a small screen.
    void okStoresTheAccount()
    {
        PasswordStore passwords;
        AccountDialog dialog(passwords, accountPath());
        for (const QWidget* w : dialog.findChildren<QWidget*>())
            if (w->focusPolicy() != Qt::NoFocus && !w->objectName().startsWith(QLatin1String("qt_")))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        QVERIFY(dialog.sizeHint().width() <= 800 && dialog.sizeHint().height() <= 560);
        QTimer::singleShot(0, &dialog, [&] {
            type(dialog, "url", m_server.calendarUrl("year"));
            type(dialog, "user", QStringLiteral("alice"));
            type(dialog, "password", QStringLiteral("pw"));
            QTest::mouseClick(dialog.findChild<QCheckBox*>(QStringLiteral("remember")), Qt::LeftButton);
            QTest::keyClick(dialog.findChild<QCheckBox*>(QStringLiteral("automatic")), Qt::Key_Space);
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        SyncAccount stored;
        QString error;
        QVERIFY2(stored.load(accountPath(), error), qPrintable(error));
        QCOMPARE(stored.url().toString(), m_server.calendarUrl("year"));
        QVERIFY(stored.user() == QLatin1String("alice") && !stored.remembersPassword() &&
                stored.syncsAutomatically());
        QCOMPARE(passwords.sessionPassword(PasswordStore::keyFor(stored.url(), stored.user())),
                 QStringLiteral("pw"));
        QFile file(accountPath());
        QVERIFY(file.open(QIODevice::ReadOnly) && !file.readAll().contains("pw"));
    }
};

QTEST_MAIN(TestAccountDialog)
#include "tst_accountdialog.moc"
