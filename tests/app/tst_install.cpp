// `cmake --install` into a scratch prefix: the program, its icon in the hicolor theme, the desktop file and
// the AppStream metainfo land where desktops look for them, and pass the freedesktop validators.

#include "TolvaApp.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void validators_data();
    void validators();
    void desktopFileNamesTheProgramAndIcon();
    void metainfoNamesTheLicenceAndThisVersion();
    void installedProgramLoadsItsSyncModule_data();
    void installedProgramLoadsItsSyncModule();

private:
    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }

    QTemporaryDir m_prefix;
};

void TestInstall::initTestCase()
{
    QProcess install;
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(TOLVA_BINARY_DIR), QStringLiteral("--prefix"),
                   m_prefix.path(), QStringLiteral("--component"), QStringLiteral("planner")});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
}

void TestInstall::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("program") << "bin/tolva";
    QTest::newRow("sync module") << TOLVA_MODULEDIR "/tolva-sync.so";
    QTest::newRow("desktop file") << "share/applications/org.quillmoor.Tolva.desktop";
    QTest::newRow("metainfo") << "share/metainfo/org.quillmoor.Tolva.metainfo.xml";
    QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/org.quillmoor.Tolva.svg";
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("icon %dx%d", size, size)
            << QStringLiteral("share/icons/hicolor/%1x%1/apps/org.quillmoor.Tolva.png").arg(size);
    QTest::newRow("manual page") << "share/man/man1/tolva.1.gz";
    QTest::newRow("copyright") << "share/doc/tolva/copyright";
}

void TestInstall::installedFiles()
{
    QFETCH(QString, path);
    const QFileInfo file(installed(path));
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    if (path.startsWith(QLatin1String("bin/")))
        QVERIFY(file.isExecutable());
    if (path.endsWith(QLatin1String(".png"))) {
        // Made from the SVG at the size its folder names.
        const int size = path.section(QLatin1Char('/'), 3, 3).section(QLatin1Char('x'), 0, 0).toInt();
        const QImage icon(file.filePath());
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
    }
    if (path.endsWith(QLatin1String(".svg"))) {
        const QImage icon(file.filePath());
        QVERIFY2(!icon.isNull(), "the icon does not render");
    }
}

void TestInstall::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("desktop-file-validate")
        << "desktop-file-validate" << QStringList{"share/applications/org.quillmoor.Tolva.desktop"};
    QTest::newRow("appstreamcli") << "appstreamcli"
                                  << QStringList{"validate", "--no-net",
                                                 "share/metainfo/org.quillmoor.Tolva.metainfo.xml"};
}

void TestInstall::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is not installed; tools/deps.sh installs it")));
    QProcess run;
    run.setWorkingDirectory(m_prefix.path());
    run.start(program, arguments);
    QVERIFY(run.waitForFinished(120000));
    const QByteArray output = run.readAllStandardOutput() + run.readAllStandardError();
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0, output.constData());
}

// Wayland finds the window's name and icon through the desktop file id the program announces.
void TestInstall::desktopFileNamesTheProgramAndIcon()
{
    CTolvaApp::setIdentity();
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.quillmoor.Tolva"));
    QSettings desktop(installed(QStringLiteral("share/applications/org.quillmoor.Tolva.desktop")),
                      QSettings::IniFormat);
    desktop.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(desktop.value(QStringLiteral("Exec")).toString(), QStringLiteral("tolva"));
    QCOMPARE(desktop.value(QStringLiteral("Icon")).toString(), QGuiApplication::desktopFileName());
    QCOMPARE(desktop.value(QStringLiteral("Name")).toString(), QStringLiteral("Tolva"));
    // X11 groups the window under its class, which Qt takes from the application name.
    QCOMPARE(desktop.value(QStringLiteral("StartupWMClass")).toString(), QCoreApplication::applicationName());
}

// Software centres show these: the licence and the newest release must be the program's own.
void TestInstall::metainfoNamesTheLicenceAndThisVersion()
{
    QFile file(installed(QStringLiteral("share/metainfo/org.quillmoor.Tolva.metainfo.xml")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(file.readAll());
    QVERIFY(xml.contains(QLatin1String("<project_license>GPL-3.0-or-later</project_license>")));
    const qsizetype releases = xml.indexOf(QLatin1String("<releases>"));
    QVERIFY(releases >= 0);
    QVERIFY2(xml.indexOf(QLatin1String("<release version=\"" TOLVA_VERSION "\""), releases) ==
                 xml.indexOf(QLatin1String("<release "), releases),
             "the newest release in the metainfo is not the build's version");
}

void TestInstall::installedProgramLoadsItsSyncModule_data()
{
    QTest::addColumn<bool>("moduleThere");
    QTest::newRow("installed beside it") << true;
    QTest::newRow("missing") << false;
}

// The installed program finds the module where the installation put it, relative to itself; without it,
// it runs on and says what is missing.
void TestInstall::installedProgramLoadsItsSyncModule()
{
    QFETCH(bool, moduleThere);
    const QString module = installed(QStringLiteral(TOLVA_MODULEDIR "/tolva-sync.so"));
    const QString away = module + QStringLiteral(".away");
    if (!moduleThere)
        QVERIFY(QFile::rename(module, away));
    QTemporaryDir work;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TOLVA_SYNC_MODULE"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.path());
    QProcess planner;
    planner.setProcessEnvironment(env);
    planner.setWorkingDirectory(work.path());
    planner.start(installed(QStringLiteral("bin/tolva")), {});
    QVERIFY(planner.waitForStarted());
    const QString mapsPath = QStringLiteral("/proc/%1/maps").arg(planner.processId());
    QByteArray errors;
    const auto loaded = [&] {
        QFile maps(mapsPath);
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/tolva-sync.so");
    };
    const auto toldMissing = [&] {
        errors += planner.readAllStandardError();
        return errors.contains("The calendar sync module is not installed");
    };
    if (moduleThere)
        QTRY_VERIFY_WITH_TIMEOUT(loaded(), 20000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(toldMissing(), 20000);
    planner.terminate();
    QVERIFY(planner.waitForFinished(20000));
    if (!moduleThere)
        QVERIFY(QFile::rename(away, module));
    QVERIFY2(moduleThere != toldMissing(), errors.constData());
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
