// The data folder's lock: one holder at a time, a dead holder's lock taken over, and a plain message.

#include "DataFolderLock.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/file.h>

class TestDataFolderLock : public QObject
{
    Q_OBJECT

private slots:
    void lockCreatesTheFolderAndHoldsIt();
    void secondHolderIsToldWhoHasIt();
    void staleLock_data();
    void staleLock();
    void releasedLockCanBeTakenAgain();
    void earlierVersionsKeepOutAndAreKeptOut_data();
    void earlierVersionsKeepOutAndAreKeptOut();
    void unwritableFolderFails();
    void lockMakesNoFolderItDoesNotKeep_data();
    void lockMakesNoFolderItDoesNotKeep();
};

void TestDataFolderLock::lockCreatesTheFolderAndHoldsIt()
{
    QTemporaryDir dir;
    const QString years = dir.filePath(QStringLiteral("YEARS"));
    DataFolderLock lock(years);
    QCOMPARE(lock.tryLock(), DataFolderLock::Status::Locked);
    QVERIFY(QFileInfo(years).isDir());
    QVERIFY(QFile::exists(lock.lockFilePath()));
    QVERIFY(!lock.lockFilePath().endsWith(QLatin1String(".year")));
}

void TestDataFolderLock::lockMakesNoFolderItDoesNotKeep_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<bool>("written");
    QTest::addColumn<DataFolderLock::Status>("status");
    QTest::addColumn<bool>("kept");
    QTest::newRow("nothing written: YEARS goes again")
        << "" << false << DataFolderLock::Status::Locked << false;
    QTest::newRow("a year written: YEARS stays") << "" << true << DataFolderLock::Status::Locked << true;
    QTest::newRow("a mistyped parent is not made")
        << "missing/q" << false << DataFolderLock::Status::Failed << false;
}

// A command that writes nothing leaves the folder as it found it, and a mistyped --dir never appears.
void TestDataFolderLock::lockMakesNoFolderItDoesNotKeep()
{
    QFETCH(QString, parent);
    QFETCH(bool, written);
    QFETCH(DataFolderLock::Status, status);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    const QString base = parent.isEmpty() ? dir.path() : dir.filePath(parent);
    const QString years = base + QStringLiteral("/YEARS");
    {
        DataFolderLock lock(years);
        QCOMPARE(lock.tryLock(), status);
        if (written) {
            QFile year(years + QStringLiteral("/2026.year"));
            QVERIFY(year.open(QIODevice::WriteOnly));
        }
    }
    QCOMPARE(QFileInfo::exists(years), kept);
    if (!parent.isEmpty())
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
}

void TestDataFolderLock::secondHolderIsToldWhoHasIt()
{
    QTemporaryDir dir;
    DataFolderLock first(dir.path());
    DataFolderLock second(dir.path());
    QCOMPARE(first.tryLock(), DataFolderLock::Status::Locked);
    QCOMPARE(second.tryLock(), DataFolderLock::Status::InUse);
    QCOMPARE(second.holderPid(), QCoreApplication::applicationPid());
    QVERIFY(second.message().contains(QStringLiteral("in use by another running Tolva")));
    QVERIFY(second.message().contains(QString::number(QCoreApplication::applicationPid())));
    QVERIFY(second.message().contains(QDir::toNativeSeparators(dir.path())));
}

void TestDataFolderLock::staleLock_data()
{
    const QByteArray named = "%pid\nsleep\n" + QSysInfo::machineHostName().toUtf8() + "\n";
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("holderAlive");
    QTest::addColumn<bool>("fileHeld");
    QTest::addColumn<DataFolderLock::Status>("expected");
    QTest::newRow("holder ended") << named << false << false << DataFolderLock::Status::Locked;
    QTest::newRow("holder runs") << named << true << false << DataFolderLock::Status::InUse;
    QTest::newRow("maker killed before naming itself")
        << QByteArray() << false << false << DataFolderLock::Status::Locked;
    QTest::newRow("maker killed while naming itself")
        << QByteArray("4") << false << false << DataFolderLock::Status::Locked;
    QTest::newRow("maker still naming itself")
        << QByteArray() << false << true << DataFolderLock::Status::InUse;
}

// A lock file left by a process that no longer runs (a crash, a kill -9, even one between making the file
// and writing into it) must not keep the user out for good; one of a running process, however old, must.
void TestDataFolderLock::staleLock()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, holderAlive);
    QFETCH(bool, fileHeld);
    QFETCH(DataFolderLock::Status, expected);
    QTemporaryDir dir;

    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    const qint64 pid = holder.processId();
    if (!holderAlive) {
        holder.kill();
        holder.waitForFinished();
    }
    QFile file(dir.filePath(DataFolderLock::fileName()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    // The lock names the holder program; Qt takes a lock whose pid now runs another program for stale.
    file.write(content.replace("%pid", QByteArray::number(pid)));
    file.close();
    // Old enough that no age rule could matter either way.
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-30), QFileDevice::FileModificationTime));
    if (fileHeld)
        QCOMPARE(::flock(file.handle(), LOCK_EX | LOCK_NB), 0);
    else
        file.close();

    DataFolderLock lock(dir.path());
    QCOMPARE(lock.tryLock(), expected);
    if (holderAlive) {
        holder.kill();
        holder.waitForFinished();
    }
}

void TestDataFolderLock::earlierVersionsKeepOutAndAreKeptOut_data()
{
    QTest::addColumn<bool>("earlierFirst");
    QTest::newRow("an earlier version's planner runs") << true;
    QTest::newRow("this one runs, an earlier one starts") << false;
}

// Earlier versions locked the folder with QLockFile: a planner of each kind must keep the other out.
void TestDataFolderLock::earlierVersionsKeepOutAndAreKeptOut()
{
    QFETCH(bool, earlierFirst);
    QTemporaryDir dir;
    DataFolderLock lock(dir.path());
    QLockFile earlier(dir.filePath(DataFolderLock::fileName()));
    earlier.setStaleLockTime(0);
    if (earlierFirst) {
        QVERIFY(earlier.tryLock(0));
        QCOMPARE(lock.tryLock(), DataFolderLock::Status::InUse);
        QCOMPARE(lock.holderPid(), QCoreApplication::applicationPid());
        earlier.unlock();
        QCOMPARE(lock.tryLock(), DataFolderLock::Status::Locked);
    } else {
        QCOMPARE(lock.tryLock(), DataFolderLock::Status::Locked);
        QVERIFY(!earlier.tryLock(0));
        qint64 pid = 0;
        QString host, program;
        QVERIFY(earlier.getLockInfo(&pid, &host, &program));
        QCOMPARE(pid, QCoreApplication::applicationPid());
        lock.unlock();
        QVERIFY(earlier.tryLock(0));
    }
}

void TestDataFolderLock::releasedLockCanBeTakenAgain()
{
    QTemporaryDir dir;
    DataFolderLock first(dir.path());
    DataFolderLock second(dir.path());
    QCOMPARE(first.tryLock(), DataFolderLock::Status::Locked);
    first.unlock();
    QVERIFY(!QFile::exists(first.lockFilePath()));
    QCOMPARE(second.tryLock(), DataFolderLock::Status::Locked);
}

void TestDataFolderLock::unwritableFolderFails()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("YEARS")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    DataFolderLock lock(blocker.fileName());
    QCOMPARE(lock.tryLock(), DataFolderLock::Status::Failed);
    QVERIFY(lock.message().contains(QDir::toNativeSeparators(blocker.fileName())));
}

QTEST_GUILESS_MAIN(TestDataFolderLock)
#include "tst_datafolderlock.moc"
