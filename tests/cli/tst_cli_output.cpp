// Where tolva-cli's results go and which folder it works on: every write is checked to the end, a device
// or FIFO given as -o stays what it is, and a folder is never made up (a mistyped --dir, a name that is
// not UTF-8).

#include "CliFixture.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;

struct Finished
{
    bool ok = false;
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Finished finish(QProcess& p, int fifo = -1)
{
    Finished f;
    QByteArray fromFifo;
    const QDeadlineTimer deadline(120000);
    // A FIFO is drained while the command runs: its buffer is smaller than a year's calendar.
    while (!p.waitForFinished(50) && !deadline.hasExpired()) {
        char buffer[65536];
        for (ssize_t n; fifo >= 0 && (n = ::read(fifo, buffer, sizeof buffer)) > 0;)
            fromFifo.append(buffer, n);
    }
    char buffer[65536];
    for (ssize_t n; fifo >= 0 && (n = ::read(fifo, buffer, sizeof buffer)) > 0;)
        fromFifo.append(buffer, n);
    if (p.state() != QProcess::NotRunning || p.exitStatus() != QProcess::NormalExit)
        return f;
    f.ok = true;
    f.status = p.exitCode();
    f.out = fifo >= 0 ? fromFifo : p.readAllStandardOutput();
    f.err = p.readAllStandardError();
    return f;
}

// Names as bytes: QDir leaves out a name it cannot decode.
QList<QByteArray> rawEntries(const QByteArray& dir)
{
    QList<QByteArray> names;
    if (DIR* d = ::opendir(dir.constData())) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names << QByteArray(e->d_name);
        ::closedir(d);
    }
    return names;
}

QProcessEnvironment offscreen(const QString& config)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    return env;
}

} // namespace

class TestCliOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // A result that did not reach its place (a full disk, a file-size limit) is exit 1 with one line.
    void failedOutputIsExitOneWithOneLine_data();
    void failedOutputIsExitOneWithOneLine();
    // -o replaces a regular file whole; a device, a FIFO or standard output is written to, never replaced.
    void outputGoesWhereItIsNamedWithoutReplacingDevices_data();
    void outputGoesWhereItIsNamedWithoutReplacingDevices();
    // A --dir that names no folder is a failure, not an empty year; nothing is created on the way.
    void missingDataFolderIsAFailure_data();
    void missingDataFolderIsAFailure();
    // A command that writes no year leaves no YEARS folder behind, even when it fails.
    void commandsMakeNoFolderUnlessTheyWriteAYear_data();
    void commandsMakeNoFolderUnlessTheyWriteAYear();
    // A folder name that is not UTF-8 is refused by both programs, never swapped for another folder.
    void folderNamesThatAreNotUtf8AreRefused_data();
    void folderNamesThatAreNotUtf8AreRefused();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString dir() const { return m_dir->path(); }
};

void TestCliOutput::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    writeFolder(dir(), richYear(kYear), everyYearDays(kYear));
}

void TestCliOutput::failedOutputIsExitOneWithOneLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("stdoutFull");
    QTest::addColumn<bool>("sizeLimit");
    const QString year = QString::number(kYear);
    QTest::newRow("dump onto a full standard output") << QStringList{"dump", year} << true << false;
    QTest::newRow("export-ics onto a full standard output")
        << QStringList{"export-ics", year} << true << false;
    QTest::newRow("export-ics -o - onto a full standard output")
        << QStringList{"export-ics", year, "-o", "-"} << true << false;
    QTest::newRow("export-ics -o /dev/full")
        << QStringList{"export-ics", year, "-o", "/dev/full"} << false << false;
    QTest::newRow("export-ics -o FILE past the file-size limit")
        << QStringList{"export-ics", year, "-o", "out.ics"} << false << true;
    QTest::newRow("render -o FILE past the file-size limit")
        << QStringList{"render", year, "-o", "out.png"} << false << true;
}

void TestCliOutput::failedOutputIsExitOneWithOneLine()
{
    QFETCH(QStringList, args);
    QFETCH(bool, stdoutFull);
    QFETCH(bool, sizeLimit);
    QProcess p;
    p.setWorkingDirectory(dir());
    if (stdoutFull)
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
    if (sizeLimit) {
        // As a full disk does, the limit cuts the write short; ignored SIGXFSZ makes it a failed write.
        p.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{2000, 2000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    p.start(QStringLiteral(TOLVA_CLI), QStringList{"--dir", dir()} + args);
    const Finished f = finish(p);
    QVERIFY(f.ok);
    QCOMPARE(f.status, CliRunner::kFailed);
    // The export's own notes may come first; the failure is the one last line.
    const QList<QByteArray> lines = f.err.trimmed().split('\n');
    QVERIFY2(lines.last().startsWith("tolva-cli: ") && !lines.last().contains("not exported"),
             f.err.constData());
    QVERIFY2(lines.last().contains(stdoutFull ? QByteArray("standard output") : args.last().toUtf8()),
             f.err.constData());
    if (sizeLimit) {
        // Whole or not at all: no part of the result, no temporary.
        QVERIFY(!QFile::exists(dir() + "/" + args.last()));
        QCOMPARE(folderEntries(dir()), QStringList{"YEARS"});
    }
}

void TestCliOutput::outputGoesWhereItIsNamedWithoutReplacingDevices_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a regular file") << "file";
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to a FIFO") << "fifo link";
    QTest::newRow("a character device") << "device";
    QTest::newRow("/dev/stdout") << "/dev/stdout";
    QTest::newRow("/dev/stdout onto a file opened for appending") << "/dev/stdout appended";
    QTest::newRow("-") << "-";
}

void TestCliOutput::outputGoesWhereItIsNamedWithoutReplacingDevices()
{
    QFETCH(QString, kind);
    QString target = kind;
    const QString node = dir() + "/node";
    const QByteArray nodeName = QFile::encodeName(node);
    int fifo = -1;
    if (kind == "file") {
        target = dir() + "/out.ics";
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    } else if (kind.startsWith("fifo")) {
        QCOMPARE(::mkfifo(nodeName.constData(), 0600), 0);
        fifo = ::open(nodeName.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(fifo >= 0);
        target = node;
        if (kind == "fifo link") {
            target = dir() + "/link";
            QVERIFY(QFile::link(node, target));
        }
    } else if (kind == "device") {
        // The null device's numbers, made in the test's own folder: no system device is at stake.
        if (::mknod(nodeName.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("making a device node needs CAP_MKNOD");
        target = node;
    }
    const QString appended = dir() + "/log";
    if (kind == "/dev/stdout appended") {
        QFile log(appended);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("earlier\n");
        target = "/dev/stdout";
    }
    struct stat before = {};
    if (kind != "-" && !kind.startsWith("/dev/stdout"))
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);

    QProcess p;
    if (kind == "/dev/stdout appended")
        p.setStandardOutputFile(appended, QIODevice::Append);
    p.start(QStringLiteral(TOLVA_CLI), {"--dir", dir(), "export-ics", QString::number(kYear), "-o", target});
    const Finished f = finish(p, fifo);
    if (fifo >= 0)
        ::close(fifo);
    QVERIFY(f.ok);
    QVERIFY2(f.status == 0, f.err.constData());

    QByteArray written = f.out;
    if (kind == "file")
        written = fileBytes(target);
    if (kind == "/dev/stdout appended") {
        // Added after what the file held: the shell's >> is kept, the file not replaced.
        written = fileBytes(appended);
        QVERIFY(written.startsWith("earlier\nBEGIN:VCALENDAR"));
        written = written.mid(8);
    }
    if (kind != "device")
        QVERIFY2(written.startsWith("BEGIN:VCALENDAR") && written.trimmed().endsWith("END:VCALENDAR"),
                 written.left(200).constData());
    if (kind == "-" || kind.startsWith("/dev/stdout"))
        return;
    struct stat after = {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    if (kind != "file")
        QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(QFileInfo(target).isSymLink(), kind == "fifo link");
}

void TestCliOutput::missingDataFolderIsAFailure_data()
{
    QTest::addColumn<QStringList>("args");
    const QString year = QString::number(kYear);
    const QString missing = "missing/q";
    QTest::newRow("dump") << QStringList{"--dir", missing, "dump", year};
    QTest::newRow("dump, --dir=") << QStringList{"dump", year, "--dir=" + missing};
    QTest::newRow("render") << QStringList{"render", year, "-o", "x.png", "--dir", missing};
    QTest::newRow("status") << QStringList{"--dir",  missing,   "status", year,
                                           "--size", "800x600", "--at",   "5,5"};
    QTest::newRow("export-ics") << QStringList{"--dir", missing, "export-ics", year};
    QTest::newRow("import-ics") << QStringList{"--dir", missing, "import-ics", "holidays.ics", year};
    QTest::newRow("publish") << QStringList{"--dir", missing, "publish", "--url", "http://127.0.0.1:9/c/",
                                            year};
    QTest::newRow("check") << QStringList{"--dir", missing, "check"};
    QTest::newRow("a file, not a folder") << QStringList{"--dir", "YEARS/2026.year", "dump", year};
}

void TestCliOutput::missingDataFolderIsAFailure()
{
    QFETCH(QStringList, args);
    const QStringList before = folderEntries(dir());
    QProcess p;
    p.setWorkingDirectory(dir());
    p.start(QStringLiteral(TOLVA_CLI), args);
    const Finished f = finish(p);
    QVERIFY(f.ok);
    QCOMPARE(f.status, CliRunner::kFailed);
    QVERIFY2(f.err.startsWith("tolva-cli: ") && f.err.count('\n') == 1, f.err.constData());
    QVERIFY2(f.err.contains("no such folder") || f.err.contains("not a folder"), f.err.constData());
    QVERIFY(f.out.isEmpty());
    QCOMPARE(folderEntries(dir()), before);
}

void TestCliOutput::commandsMakeNoFolderUnlessTheyWriteAYear_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("calendar");
    const QString year = QString::number(kYear);
    const QByteArray noAllDayEvents =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nEND:VCALENDAR\r\n";
    QTest::newRow("import-ics of a missing file")
        << QStringList{"import-ics", "none.ics", year} << QByteArray();
    QTest::newRow("import-ics with nothing to import")
        << QStringList{"import-ics", "cal.ics", year} << noAllDayEvents;
    QTest::newRow("publish to nobody")
        << QStringList{"publish", "--url", "http://127.0.0.1:9/c/", year} << QByteArray();
}

void TestCliOutput::commandsMakeNoFolderUnlessTheyWriteAYear()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, calendar);
    QTemporaryDir empty;
    QTemporaryDir outside;
    if (!calendar.isEmpty()) {
        QFile f(outside.filePath("cal.ics"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(calendar);
    }
    QProcess p;
    p.setWorkingDirectory(outside.path());
    p.start(QStringLiteral(TOLVA_CLI), QStringList{"--dir", empty.path()} + args);
    const Finished f = finish(p);
    QVERIFY(f.ok);
    QCOMPARE(folderEntries(empty.path()), QStringList());
}

void TestCliOutput::folderNamesThatAreNotUtf8AreRefused_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("planner");
    // The shell names the folder by its bytes; QProcess could only pass it through UTF-8.
    QTest::newRow("tolva-cli started in it") << QString("cd \"$BAD\" && exec \"$CLI\" dump 2026") << false;
    QTest::newRow("tolva-cli --dir it") << QString("exec \"$CLI\" --dir \"$BAD\" dump 2026") << false;
    QTest::newRow("tolva-cli --dir inside it")
        << QString("exec \"$CLI\" --dir \"$BAD/sub\" dump 2026") << false;
    QTest::newRow("the planner started in it") << QString("cd \"$BAD\" && exec \"$TOLVA\"") << true;
}

void TestCliOutput::folderNamesThatAreNotUtf8AreRefused()
{
    QFETCH(QString, script);
    QFETCH(bool, planner);
    QTemporaryDir parent;
    QTemporaryDir config;
    const QByteArray bad = QFile::encodeName(parent.path()) + "/a\xff";
    QVERIFY(::mkdir(bad.constData(), 0700) == 0);
    QVERIFY(::mkdir((bad + "/sub").constData(), 0700) == 0);

    QProcessEnvironment env = offscreen(config.path());
    env.insert("CLI", TOLVA_CLI);
    env.insert("TOLVA", TOLVA_EXECUTABLE);
    env.insert("PARENT", parent.path());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("/bin/sh"), {"-c", "BAD=\"$PARENT/a$(printf '\\377')\" && " + script});
    QVERIFY(p.waitForStarted());
    Finished f;
    if (planner) {
        // The refusal is a message box too; once the line is out, a stop ends it.
        const QDeadlineTimer deadline(60000);
        QByteArray err;
        while (!err.contains('\n') && !deadline.hasExpired() && p.state() == QProcess::Running) {
            p.waitForReadyRead(100);
            err += p.readAllStandardError();
        }
        ::kill(pid_t(p.processId()), SIGTERM);
        f = finish(p);
        f.err = err + f.err;
    } else {
        f = finish(p);
    }
    QVERIFY(f.ok);
    QCOMPARE(f.status, 1);
    QVERIFY2(f.err.contains("not valid UTF-8"), f.err.constData());
    // Neither the folder it would have become nor anything inside the real one.
    QCOMPARE(rawEntries(QFile::encodeName(parent.path())), QList<QByteArray>{"a\xff"});
    struct stat st = {};
    QVERIFY(::stat((bad + "/YEARS").constData(), &st) != 0);
    QVERIFY(::stat((bad + "/sub/YEARS").constData(), &st) != 0);
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_cli_output.moc"
