// The Debian package as CPack builds it from this build: exactly the files a user's system should get,
// the libraries and Qt plugins it needs as dependencies, a machine-readable copyright file, and no errors
// from lintian, Debian's own package checker.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

struct Ran
{
    int exitCode = -1;
    QString out;
    QString err;
};

Ran run(const QString& program, const QStringList& arguments, int timeout = 300000)
{
    QProcess p;
    p.start(program, arguments);
    Ran r;
    if (!p.waitForFinished(timeout))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void holdsExactlyTheInstalledFiles();
    void dependsOnWhatItLoads_data();
    void dependsOnWhatItLoads();
    void copyrightIsMachineReadable();
    void lintianFindsNoErrors();

private:
    QString field(const QString& name) const;
    QString fileInPackage(const QString& path) const;

    QTemporaryDir m_dir;
    QString m_deb;
};

void TestPackage::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
        QSKIP("dpkg-dev is not installed; tools/deps.sh installs it");
    const Ran cpack =
        run(QStringLiteral(CPACK_COMMAND),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
             QStringLiteral(TOLVA_BINARY_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), m_dir.path()});
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.out + cpack.err));
    const QStringList debs = QDir(m_dir.path()).entryList({QStringLiteral("tolva_*.deb")}, QDir::Files);
    QCOMPARE(debs, QStringList{QStringLiteral("tolva_" TOLVA_VERSION "_amd64.deb")});
    m_deb = m_dir.filePath(debs.first());
}

QString TestPackage::field(const QString& name) const
{
    return run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, name}).out.trimmed();
}

QString TestPackage::fileInPackage(const QString& path) const
{
    QProcess tar;
    QProcess deb;
    deb.setStandardOutputProcess(&tar);
    deb.start(QStringLiteral("dpkg-deb"), {QStringLiteral("--fsys-tarfile"), m_deb});
    tar.start(QStringLiteral("tar"), {QStringLiteral("-xOf"), QStringLiteral("-"), QLatin1Char('.') + path});
    deb.waitForFinished(60000);
    tar.waitForFinished(60000);
    return QString::fromUtf8(tar.readAllStandardOutput());
}

// Nothing more (a test program, a static library, a build path) and nothing less.
void TestPackage::holdsExactlyTheInstalledFiles()
{
    const Ran list = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_deb});
    QCOMPARE(list.exitCode, 0);
    QStringList files;
    for (const QString& line : list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('-'))) {
            files.append(line.section(QLatin1Char(' '), -1).mid(1));
            // Programs rwxr-xr-x, everything else rw-r--r--, all owned by root.
            const bool program = files.last().startsWith(QLatin1String("/usr/bin/"));
            QVERIFY2(line.startsWith(program ? QLatin1String("-rwxr-xr-x root/root")
                                             : QLatin1String("-rw-r--r-- root/root")),
                     qPrintable(line));
        } else {
            QVERIFY2(line.startsWith(QLatin1String("drwxr-xr-x root/root")), qPrintable(line));
        }
    }
    files.sort();

    QStringList expected{
        "/usr/bin/tolva",
        "/usr/bin/tolva-cli",
        "/usr/share/applications/org.quillmoor.Tolva.desktop",
        "/usr/share/doc/tolva/changelog.gz",
        "/usr/share/doc/tolva/copyright",
        "/usr/share/icons/hicolor/scalable/apps/org.quillmoor.Tolva.svg",
        "/usr/share/man/man1/tolva-cli.1.gz",
        "/usr/share/man/man1/tolva.1.gz",
        "/usr/share/metainfo/org.quillmoor.Tolva.metainfo.xml",
        "/usr/" TOLVA_MODULEDIR "/tolva-sync.so",
    };
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected.append(
            QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/org.quillmoor.Tolva.png").arg(size));
    expected.sort();
    QCOMPARE(files, expected);
}

void TestPackage::dependsOnWhatItLoads_data()
{
    QTest::addColumn<QString>("package");
    QTest::newRow("Qt Widgets, found by dpkg-shlibdeps") << "libqt6widgets6";
    QTest::newRow("Qt Print Support") << "libqt6printsupport6";
    QTest::newRow("libical, for the CLI's iCalendar") << "libical3";
    QTest::newRow("Qt Network, for the sync module") << "libqt6network6";
    QTest::newRow("QtKeychain, for the sync module") << "libqt6keychain1";
    QTest::newRow("the platform plugins, loaded at run time") << "qt6-qpa-plugins";
    QTest::newRow("the SVG icon plugins") << "libqt6svg6";
}

void TestPackage::dependsOnWhatItLoads()
{
    QFETCH(QString, package);
    const QStringList depends = field(QStringLiteral("Depends")).split(QStringLiteral(", "));
    // Named once: twice is what lintian and a reader both take for a mistake.
    const auto times = std::count_if(depends.cbegin(), depends.cend(), [&](const QString& d) {
        return d.section(QLatin1Char(' '), 0, 0) == package;
    });
    QVERIFY2(times == 1, qPrintable(depends.join(QStringLiteral(", "))));
}

void TestPackage::copyrightIsMachineReadable()
{
    const QString copyright = fileInPackage(QStringLiteral("/usr/share/doc/tolva/copyright"));
    QVERIFY(copyright.startsWith(
        QLatin1String("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
    QVERIFY(copyright.contains(QLatin1String("\nLicense: GPL-3.0-or-later\n")));
    QVERIFY(copyright.contains(QLatin1String("/usr/share/common-licenses/GPL-3")));
    QCOMPARE(field(QStringLiteral("Version")), QStringLiteral(TOLVA_VERSION));
    QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("tolva"));
}

void TestPackage::lintianFindsNoErrors()
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty())
        QSKIP("lintian is not installed; tools/deps.sh installs it");
    const Ran checked = run(lintian, {QStringLiteral("--fail-on"), QStringLiteral("error"), m_deb}, 600000);
    QVERIFY2(checked.exitCode == 0, qPrintable(checked.out + checked.err));
    QVERIFY2(!checked.out.contains(QLatin1String("\nE: ")) && !checked.out.startsWith(QLatin1String("E: ")),
             qPrintable(checked.out));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
