// Faults of the disk and of memory that a save or a load must survive. This program replaces the global
// operator new (to make an allocation fail on demand), so it holds no other tests.
#include "YearFixtures.h"

#include "DurableFile.h"
#include "YearDocument.h"
#include "YearRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace YearFixtures;

namespace {

// Allocations of at least this many bytes fail while it is non-zero.
std::atomic<std::size_t> g_failAllocationsFrom{0};

enum class SyncFault { None, Files, Folders };
SyncFault g_syncFault = SyncFault::None;
int g_syncErrno = EIO;
// A failing file sync first makes a folder here: the way back for a file moved aside is then blocked.
QString g_blockAtSync;
QStringList g_syncedFolders;

int faultySync(int fd)
{
    struct stat st = {};
    ::fstat(fd, &st);
    const bool folder = S_ISDIR(st.st_mode);
    if (folder) {
        char target[4096] = {};
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
        if (::readlink(link.constData(), target, sizeof target - 1) > 0)
            g_syncedFolders.append(QFile::decodeName(target));
    }
    if ((g_syncFault == SyncFault::Files && !folder) || (g_syncFault == SyncFault::Folders && folder)) {
        if (!folder && !g_blockAtSync.isEmpty())
            QDir().mkdir(g_blockAtSync);
        errno = g_syncErrno;
        return -1;
    }
    return ::fsync(fd);
}

// Reads of the file whose name ends with this fail with EIO, as a failing disk or a flaky mount gives.
QString g_failReadsOf;

ssize_t faultyRead(int fd, void* buffer, size_t count)
{
    char target[4096] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    if (!g_failReadsOf.isEmpty() && ::readlink(link.constData(), target, sizeof target - 1) > 0 &&
        QFile::decodeName(target).endsWith(QLatin1Char('/') + g_failReadsOf)) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count);
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Sets the modification time `seconds` back.
bool age(const QString& path, int seconds)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

void* operator new(std::size_t size)
{
    const std::size_t from = g_failAllocationsFrom.load();
    if (from != 0 && size >= from)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

class TestStorageFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // A sync the disk refuses (EIO) is a failed save: the old file stays, no temporary is left.
    void failedSyncIsAFailedSave_data();
    void failedSyncIsAFailedSave();
    // Through a symlink the rename happens in the target's folder, so that folder is the one synced.
    void symlinkedYearFileSyncsTheTargetsFolder();
    // Temporaries of interrupted saves go when the folder is captured, but never one a save may still own,
    // and never a file of the user's that merely looks like one.
    void staleTemporariesAreRemovedWhenTheFolderIsCaptured_data();
    void staleTemporariesAreRemovedWhenTheFolderIsCaptured();
    // A save in progress holds the lock that keeps its temporary from the clean-up of other processes.
    void runningSaveLocksItsTemporary();
    // A file that could not be read is never replaced by what the planner did not read: left alone
    // while nothing is edited, moved aside before an edit is saved in its place.
    void unreadFileIsNeverSavedOver_data();
    void unreadFileIsNeverSavedOver();
    // An allocation that fails in a load is damage: the year asked for stays the year, its file is kept.
    void allocationFailureIsReportedAsDamage_data();
    void allocationFailureIsReportedAsDamage();
    // A save that fails after the unread file was moved aside moves it back, or names the copy; the next
    // start never shows an empty year over data that sits in a copy.
    void failedSaveAfterAMoveAsideLosesNothing_data();
    void failedSaveAfterAMoveAsideLosesNothing();
    // A crash loop must not pile up temporaries until the next start-up: a save clears those of its file.
    void aSaveRemovesPiledUpTemporariesOfItsFile_data();
    void aSaveRemovesPiledUpTemporariesOfItsFile();

private:
    std::optional<QTemporaryDir> m_dir;
    DataStore m_store;
    DisplaySettings m_defaults{};
};

void TestStorageFaults::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    QVERIFY(m_store.CaptureWorkDir(m_dir->path()).ok());
    m_defaults = defaultsAt(2010);
    g_syncFault = SyncFault::None;
    g_syncedFolders.clear();
    DurableFile::setSyncFunction(faultySync);
}

void TestStorageFaults::cleanup()
{
    g_failAllocationsFrom = 0;
    g_failReadsOf.clear();
    g_syncErrno = EIO;
    g_blockAtSync.clear();
    DurableFile::setSyncFunction(nullptr);
    DurableFile::setReadFunction(nullptr);
}

void TestStorageFaults::failedSyncIsAFailedSave_data()
{
    QTest::addColumn<SyncFault>("fault");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("file sync fails") << SyncFault::Files << false;
    // The rename has happened by then; the message says the save may not last.
    QTest::newRow("folder sync fails") << SyncFault::Folders << true;
}

void TestStorageFaults::failedSyncIsAFailedSave()
{
    QFETCH(SyncFault, fault);
    QFETCH(bool, replaced);
    const QString path = m_store.yearPath(2011);
    QVERIFY(m_store.saveYear(emptyYear(2011)).ok());
    const QByteArray before = readFile(path);

    g_syncFault = fault;
    const YearData y = richYear(2011);
    const StoreResult r = m_store.saveYear(y);
    QCOMPARE(r.status, StoreResult::Status::WriteFailed);
    QCOMPARE(r.path, path);
    QCOMPARE(r.reason, QString::fromLocal8Bit(std::strerror(EIO)));
    QVERIFY2(r.message.contains(path) && r.message.contains(r.reason), qPrintable(r.message));
    QVERIFY(readFile(path) == (replaced ? YearFileCodec::encode(y) : before));
    QCOMPARE(filesIn(m_store.yearsDir()), QStringList{"2011.year"});
}

void TestStorageFaults::symlinkedYearFileSyncsTheTargetsFolder()
{
    const QString elsewhere = m_dir->path() + "/elsewhere";
    QVERIFY(QDir().mkdir(elsewhere));
    QVERIFY(writeFile(elsewhere + "/2011.year", YearFileCodec::encode(emptyYear(2011))));
    const QString link = m_store.yearPath(2011);
    QVERIFY(QFile::link("../elsewhere/2011.year", link));

    const YearData y = richYear(2011);
    QVERIFY(m_store.saveYear(y).ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(readFile(elsewhere + "/2011.year") == YearFileCodec::encode(y));
    QCOMPARE(g_syncedFolders, QStringList{QFileInfo(elsewhere).canonicalFilePath()});
    QCOMPARE(filesIn(elsewhere), QStringList{"2011.year"});
}

void TestStorageFaults::staleTemporariesAreRemovedWhenTheFolderIsCaptured_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("removed");
    const int old = 3600;
    const QString tag = ".tolva-save-";
    const QString hex = "0123456789abcdef";
    QTest::newRow("year") << ".2011.year" + tag + hex << old << false << true;
    QTest::newRow("year 999") << ".999.year" + tag + hex << old << false << true;
    QTest::newRow("defaults") << ".YearDefaults.year" + tag + hex << old << false << true;
    QTest::newRow("every-year") << ".ForeverRedDays.year" + tag + hex << old << false << true;
    QTest::newRow("damaged copy") << ".2011.year.damaged" + tag + hex << old << false << true;
    QTest::newRow("numbered damaged copy") << ".2011.year.damaged-2" + tag + hex << old << false << true;
    QTest::newRow("just created") << ".2011.year" + tag + hex << 0 << false << false;
    QTest::newRow("locked by a running save") << ".2011.year" + tag + hex << old << true << false;
    // Names a user gives copies, and what an older save's temporary looked like: never ours to remove.
    QTest::newRow("user's backup") << "2026.year.backup" << old << false << false;
    QTest::newRow("user's before") << "2026.year.before" << old << false << false;
    QTest::newRow("user's numbered copy") << "ForeverRedDays.year.copy01" << old << false << false;
    QTest::newRow("user's backup of a damaged copy") << "2026.year.damaged.backup" << old << false << false;
    QTest::newRow("six letters") << "2011.year.AbCdEf" << old << false << false;
    QTest::newRow("not hidden") << "2011.year" + tag + hex << old << false << false;
    QTest::newRow("fifteen digits") << ".2011.year" + tag + hex.left(15) << old << false << false;
    QTest::newRow("upper-case digits") << ".2011.year" + tag + hex.toUpper() << old << false << false;
    QTest::newRow("a damaged copy itself") << "2011.year.damaged" << old << false << false;
}

void TestStorageFaults::staleTemporariesAreRemovedWhenTheFolderIsCaptured()
{
    QFETCH(QString, name);
    QFETCH(int, ageSeconds);
    QFETCH(bool, locked);
    QFETCH(bool, removed);
    const QString years = m_store.yearsDir();
    QVERIFY(m_store.saveYear(emptyYear(2011)).ok());
    const QString temporary = years + "/" + name;
    QVERIFY(writeFile(temporary, "part of a save"));
    QVERIFY(age(temporary, ageSeconds));
    const int fd = ::open(QFile::encodeName(temporary).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    if (locked)
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);

    DataStore store;
    QVERIFY(store.CaptureWorkDir(m_dir->path()).ok());
    ::close(fd);
    QCOMPARE(QFileInfo::exists(temporary), !removed);
    QVERIFY(QFileInfo::exists(m_store.yearPath(2011)));
}

void TestStorageFaults::runningSaveLocksItsTemporary()
{
    // The sync runs while the temporary is open: its lock must be held then.
    static bool lockHeld = false;
    lockHeld = false;
    DurableFile::setSyncFunction([](int fd) {
        struct stat st = {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
            // A second open file description of the same file conflicts with the save's flock.
            const int other = ::open(link.constData(), O_RDONLY | O_CLOEXEC);
            lockHeld = other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            if (other >= 0)
                ::close(other);
        }
        return ::fsync(fd);
    });
    QVERIFY(m_store.saveYear(emptyYear(2011)).ok());
    QVERIFY(lockHeld);
}

void TestStorageFaults::unreadFileIsNeverSavedOver_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("edited");
    QTest::newRow("year, looked at") << "2026.year" << false;
    QTest::newRow("year, edited") << "2026.year" << true;
    QTest::newRow("every-year red days, looked at") << "ForeverRedDays.year" << false;
    QTest::newRow("every-year red days, edited") << "ForeverRedDays.year" << true;
}

void TestStorageFaults::unreadFileIsNeverSavedOver()
{
    QFETCH(QString, file);
    QFETCH(bool, edited);
    YearData stored = richYear(2026, 103);
    QVERIFY(m_store.saveYear(stored).ok());
    ForeverRedDays everyYear;
    for (int month = 1; month <= 3; ++month) {
        RedDayRecord r{};
        r.m_bEveryYear = 1;
        r.m_stDate = Calendar::makeDate(2020, month, 1);
        everyYear.m_foreverRedDays.append(r);
        everyYear.m_foreverRedTexts.append("Holiday " + QByteArray::number(month));
    }
    QVERIFY(m_store.saveForeverRedDays(everyYear).ok());
    const QString path = m_store.yearsDir() + "/" + file;
    const QByteArray before = readFile(path);

    g_failReadsOf = file;
    DurableFile::setReadFunction(faultyRead);
    QList<StoreResult> problems;
    {
        YearRegistry registry(m_store, m_defaults);
        QObject::connect(&registry, &YearRegistry::problem, [&](const StoreResult& r) { problems << r; });
        auto year = registry.open(2026);
        if (edited) {
            RedDayRecord flagged{};
            flagged.m_bEveryYear = 1;
            flagged.m_stDate = Calendar::makeDate(2026, 5, 1);
            year->setRedDay(Calendar::dayOfYear(2026, 5, 1), flagged, "Labour Day");
        }
    }
    DurableFile::setReadFunction(nullptr);
    QVERIFY(!problems.isEmpty());
    QCOMPARE(problems.first().status, StoreResult::Status::ReadFailed);
    QVERIFY(problems.first().leftUnread);
    QVERIFY2(problems.first().message.contains("moved aside"), qPrintable(problems.first().message));
    for (const StoreResult& r : problems)
        QCOMPARE(r.path, path); // the saves themselves went through
    if (!edited) {
        QVERIFY(readFile(path) == before);
        QVERIFY(!QFileInfo::exists(path + ".damaged"));
        return;
    }
    QVERIFY(readFile(path + ".damaged") == before);
    QVERIFY(readFile(path) != before);
    ForeverRedDays saved;
    QVERIFY(m_store.loadForeverRedDays(saved).ok());
    bool found = false;
    for (qsizetype i = 0; i < saved.m_foreverRedTexts.count(); ++i)
        found = found || saved.m_foreverRedTexts.at(i) == "Labour Day";
    QVERIFY(found);
}

void TestStorageFaults::allocationFailureIsReportedAsDamage_data()
{
    QTest::addColumn<bool>("inspect");
    QTest::newRow("load") << false;
    QTest::newRow("inspection") << true;
}

void TestStorageFaults::allocationFailureIsReportedAsDamage()
{
    QFETCH(bool, inspect);
    // 30000 projects: one allocation of 1.2 MB for the list, failed on purpose.
    YearData big = richYear(2011);
    for (int p = 0; p < 30000; ++p) {
        big.m_projects.append(ProjectRecord{});
        big.m_names.append("p");
    }
    const QString path = m_store.yearPath(2011);
    QVERIFY(m_store.saveYear(big).ok());
    const QByteArray bytes = readFile(path);

    YearData y = richYear(2015);
    y.m_settings.m_stSelected = Calendar::makeDate(2011, 3, 4);
    g_failAllocationsFrom = 1000 * 1000;
    const StoreResult r =
        inspect ? DataStore::inspectYearFile(path, y, m_defaults) : m_store.loadYear(y, m_defaults);
    g_failAllocationsFrom = 0;

    QCOMPARE(r.status, StoreResult::Status::Damaged);
    QCOMPARE(r.path, path);
    QVERIFY2(r.reason.contains("memory") && r.message.contains(path), qPrintable(r.message));
    // The year asked for, from the defaults: a save now writes 2011, not the year the object held before.
    YearData expected = emptyYear(2011);
    expected.m_settings = m_defaults;
    expected.m_settings.m_stSelected = Calendar::makeDate(2011, 3, 4);
    QVERIFY(y == expected);
    if (inspect) {
        QVERIFY(r.keptAs.isEmpty());
        QCOMPARE(filesIn(m_store.yearsDir()), QStringList{"2011.year"});
        return;
    }
    // The file that could not be loaded is kept whole before a save can replace it.
    QCOMPARE(r.keptAs, path + ".damaged");
    QVERIFY(readFile(r.keptAs) == bytes);
    QVERIFY(m_store.saveYear(y).ok());
    QCOMPARE(filesIn(m_store.yearsDir()), (QStringList{"2011.year", "2011.year.damaged"}));
}

void TestStorageFaults::failedSaveAfterAMoveAsideLosesNothing_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::newRow("the file is moved back") << false;
    QTest::newRow("the way back is blocked: the copy is named and shown at the next start") << true;
}

void TestStorageFaults::failedSaveAfterAMoveAsideLosesNothing()
{
    QFETCH(bool, blocked);
    const QString path = m_store.yearPath(2026);
    QVERIFY(m_store.saveYear(richYear(2026, 103)).ok());
    const QByteArray before = readFile(path);
    g_failReadsOf = "2026.year";
    DurableFile::setReadFunction(faultyRead);
    g_syncFault = SyncFault::Files;
    g_syncErrno = ENOSPC;
    g_blockAtSync = blocked ? path : QString();
    QStringList told;
    for (int session = 0; session < 2; ++session) {
        YearRegistry registry(m_store, m_defaults);
        QObject::connect(&registry, &YearRegistry::problem, [&](const StoreResult& r) { told << r.message; });
        auto year = registry.open(2026);
        QCOMPARE(year->data().m_projects.count(), qsizetype(session == 0 ? 0 : 103));
        if (session == 0) {
            year->setMemo(5, "typed");
            QVERIFY(!registry.save(*year));
            QVERIFY2(told.last().contains(blocked ? path + ".damaged" : "not changed"),
                     qPrintable(told.last()));
            year.reset(); // the save at the end fails the same way
            QVERIFY(!blocked || QDir().rmdir(path));
            g_syncFault = SyncFault::None;
            DurableFile::setReadFunction(nullptr);
            told.clear();
        }
    }
    // Shown from the copy, looked at only: nothing was written in its place.
    QCOMPARE(told.filter(path + ".damaged").size(), blocked ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path), !blocked);
    QVERIFY(readFile(blocked ? path + ".damaged" : path) == before);
}

void TestStorageFaults::aSaveRemovesPiledUpTemporariesOfItsFile_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<int>("left");
    QTest::newRow("a few: left to the start-up's clean-up") << 3 << 3600 << 3;
    QTest::newRow("more, seconds old: removed but the one a running save locks") << 5 << 10 << 1;
    QTest::newRow("just created: a save may be about to lock them") << 6 << 0 << 6;
}

void TestStorageFaults::aSaveRemovesPiledUpTemporariesOfItsFile()
{
    QFETCH(int, count);
    QFETCH(int, ageSeconds);
    QFETCH(int, left);
    const QString other = DurableFile::temporaryPathFor(m_store.yearPath(2027));
    QVERIFY(writeFile(other, "another file's") && age(other, 3600));
    int fd = -1;
    for (int i = 0; i < count; ++i) {
        const QString temporary = DurableFile::temporaryPathFor(m_store.yearPath(2026));
        QVERIFY(writeFile(temporary, QByteArray(1000, 'x')) && age(temporary, ageSeconds));
        if (i == 0)
            fd = ::open(QFile::encodeName(temporary).constData(), O_RDONLY | O_CLOEXEC);
    }
    QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    QVERIFY(m_store.saveYear(emptyYear(2026)).ok());
    ::close(fd);
    const QStringList files = filesIn(m_store.yearsDir());
    QCOMPARE(files.filter(".2026.year.tolva-save-").size(), left);
    QVERIFY(files.contains(QFileInfo(other).fileName()) && files.contains("2026.year"));
}

QTEST_APPLESS_MAIN(TestStorageFaults)
#include "tst_storagefaults.moc"
