// The password through QtKeychain in a real Secret Service (gnome-keyring on a D-Bus session of this
// test's own), checked from outside with secret-tool.
#include "KeyringSession.h"
#include "PasswordStore.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// What another program finds in the Secret Service under the attributes QtKeychain stores with.
QString lookUp(const QString& key, int& status)
{
    QProcess p;
    p.start(QStringLiteral("secret-tool"),
            {QStringLiteral("lookup"), QStringLiteral("server"), QLatin1String(PasswordStore::kService),
             QStringLiteral("user"), key});
    status = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestPasswordStore : public QObject
{
    Q_OBJECT

    KeyringSession m_keyring;

private slots:
    void initTestCase()
    {
        QString error;
        if (!m_keyring.start(error))
            QSKIP(qPrintable(QStringLiteral("no Secret Service to test against: ") + error));
    }

    // Why: the planner and tolva-cli find the password the dialog stored, and it is in the keyring
    // itself, where other programs see it, not in a file of ours; a removed one is gone everywhere.
    void passwordLivesInTheKeyring()
    {
        const QString key = PasswordStore::keyFor(QUrl(QStringLiteral("https://Cal.Example.org:8443/dav/")),
                                                  QStringLiteral("anna"));
        QCOMPARE(key, QStringLiteral("caldav:anna@cal.example.org"));
        QCOMPARE(PasswordStore::readNow(key).outcome, PasswordStore::Outcome::NotFound);

        PasswordStore store;
        QSignalSpy written(&store, &PasswordStore::writeFinished);
        store.write(key, QStringLiteral("s3cret pass \u00e4"));
        QVERIFY(written.wait(PasswordStore::kTimeoutMs + 1000));
        const auto w = written.at(0).at(1).value<PasswordStore::Result>();
        QVERIFY2(w.outcome == PasswordStore::Outcome::Done, qPrintable(w.error));
        int status = 0;
        QCOMPARE(lookUp(key, status), QStringLiteral("s3cret pass \u00e4"));
        QCOMPARE(status, 0);

        const PasswordStore::Result r = PasswordStore::readNow(key);
        QCOMPARE(r.outcome, PasswordStore::Outcome::Done);
        QCOMPARE(r.password, QStringLiteral("s3cret pass \u00e4"));

        QSignalSpy removed(&store, &PasswordStore::removeFinished);
        store.remove(key);
        QVERIFY(removed.wait(PasswordStore::kTimeoutMs + 1000));
        QCOMPARE(removed.at(0).at(1).value<PasswordStore::Result>().outcome, PasswordStore::Outcome::Done);
        QCOMPARE(PasswordStore::readNow(key).outcome, PasswordStore::Outcome::NotFound);
        QCOMPARE(lookUp(key, status), QString());
        QCOMPARE(status, 1);
    }
};

QTEST_GUILESS_MAIN(TestPasswordStore)
#include "tst_passwordstore.moc"
