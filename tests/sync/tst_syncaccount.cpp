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

// The mode of each file a save syncs: the temporary, before it is renamed over the account file.
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
        QTest::addColumn<QByteArray>("before"); // the file there before the save, with mode 0644
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("automatic");
        QTest::newRow("new file") << QByteArray() << "https://cal.example.org/dav/anna/year/" << true;
        QTest::newRow("over a world-readable one")
            << QByteArray("{\"url\": \"https://old.org/\", \"user\": \"b\"}")
            << "https://cal.example.org/dav/%C3%A4nna/year%202/" << false;
        QTest::newRow("over a damaged one")
            << QByteArray("{\"url\": \"https://") << "http://127.0.0.1:5232/a/" << true;
    }

    // Why: the file names the user's servers and accounts, and a moment of 0644 during a save is enough
    // for another user to read it; a damaged file is what the user set, kept rather than lost.
    void savedAccountLoadsBackOwnerOnly()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, url);
        QFETCH(bool, automatic);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tolva/account.json"));
        QString error;
        SyncAccount account;
        QVERIFY(account.load(path, error) && !account.isSet());
        if (!before.isEmpty()) {
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(before) == before.size());
            QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                       QFile::ReadOther));
        }
        account.setUrl(QUrl(url, QUrl::StrictMode));
        account.setUser(QStringLiteral("anna"));
        account.setCaFile(automatic ? QStringLiteral("/etc/ssl/private-ca.pem") : QString());
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
        QCOMPARE(int(QFile::permissions(path) & 0x0fff), int(QFile::ReadUser | QFile::WriteUser));

        SyncAccount loaded;
        QVERIFY2(loaded.load(path, error), qPrintable(error));
        QCOMPARE(loaded.url().toString(QUrl::FullyEncoded), url);
        QVERIFY(loaded == account);
        QFile kept(path + QStringLiteral(".damaged"));
        QCOMPARE(kept.open(QIODevice::ReadOnly), !before.isEmpty() && !before.endsWith('}'));
        QVERIFY(!kept.isOpen() || kept.readAll() == before);
    }
};

QTEST_APPLESS_MAIN(TestSyncAccount)
#include "tst_syncaccount.moc"
