// The account file: what is saved loads back the same, the file and the temporary it is written through are
// the owner's only, and a damaged file is kept before it is replaced.
#include "DurableFile.h"
#include "SyncAccount.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The mode of each file synced by a save: the temporary, before it is renamed over the account file.
QList<int> g_syncedModes;
int recordMode(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        g_syncedModes << int(st.st_mode & 07777);
    return ::fsync(fd);
}

} // namespace

class TestSyncAccount : public QObject
{
    Q_OBJECT

private slots:
    void savedAccountLoadsBackOwnerOnly_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("beforeMode");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("new file") << QByteArray() << 0 << "https://cal.example.org/dav/anna/year/"
                                  << "/etc/ssl/private-ca.pem" << true << false;
        QTest::newRow("over a world-readable one")
            << QByteArray("{\"url\": \"https://old.example.org/\", \"user\": \"bob\"}") << 0644
            << "https://cal.example.org/dav/%C3%A4nna/year%202/" << QString() << false << false;
        QTest::newRow("over a damaged one")
            << QByteArray("{\"url\": \"https://") << 0640 << "http://127.0.0.1:5232/anna/year/" << QString()
            << true << true;
    }

    // Why: the file names the user's servers and accounts, and a moment of 0644 during a save is enough
    // for another user to read it; a damaged file is what the user set, kept rather than lost.
    void savedAccountLoadsBackOwnerOnly()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, beforeMode);
        QFETCH(QString, url);
        QFETCH(QString, caFile);
        QFETCH(bool, automatic);
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tolva/account.json"));
        QString error;
        SyncAccount account;
        QVERIFY(account.load(path, error) && !account.isSet());
        if (!before.isEmpty()) {
            QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("tolva"))));
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(before) == before.size());
            old.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(beforeMode)) == 0);
        }
        account.setUrl(QUrl(url, QUrl::StrictMode));
        account.setUser(QStringLiteral("anna"));
        account.setCaFile(caFile);
        account.setRemembersPassword(!automatic);
        account.setSyncsAutomatically(automatic);

        const mode_t umask = ::umask(0); // so that only the save decides the mode
        g_syncedModes.clear();
        const auto previous = DurableFile::setSyncFunction(recordMode);
        const bool saved = account.save(path, error);
        DurableFile::setSyncFunction(previous);
        ::umask(umask);
        QVERIFY2(saved, qPrintable(error));

        QCOMPARE(g_syncedModes, QList<int>{SyncAccount::kFileMode});
        QCOMPARE(int(QFile::permissions(path)),
                 int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser));
        SyncAccount loaded;
        QVERIFY2(loaded.load(path, error), qPrintable(error));
        QCOMPARE(loaded.url().toString(QUrl::FullyEncoded), url);
        QVERIFY(loaded == account);
        QFile kept(path + QStringLiteral(".damaged"));
        QCOMPARE(kept.exists(), damaged);
        if (kept.exists())
            QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == before);
    }
};

QTEST_APPLESS_MAIN(TestSyncAccount)
#include "tst_syncaccount.moc"
