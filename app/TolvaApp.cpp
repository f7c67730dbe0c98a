#include "TolvaApp.h"

#include "Clock.h"
#include "CommandLine.h"
#include "DataFolderLock.h"
#include "DeferredStyleIcons.h"
#include "FolderName.h"
#include "FontSizeCache.h"
#include "Icons.h"
#include "RecentFiles.h"
#include "StopSignals.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSessionManager>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleFactory>

#include <csignal>
#include <cstdio>
#include <cstdlib>

CTolvaApp::CTolvaApp(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {}

CTolvaApp::~CTolvaApp()
{
    ExitInstance();
}

void CTolvaApp::setIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmoor"));
    QCoreApplication::setApplicationName(QStringLiteral("Tolva"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVA_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tolva"));
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
}

int CTolvaApp::run(int argc, char* argv[])
{
    // Before anything can write: a write past a file-size limit must fail and be reported, not kill us.
    std::signal(SIGXFSZ, SIG_IGN);
    // --help and --version need no display and touch nothing.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw.append(QString::fromLocal8Bit(argv[i]));
    if (const CommandLine::Outcome early = CommandLine::decide(raw, false);
        early.action == CommandLine::Action::Answer) {
        std::fputs(early.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "Tolva is a desktop program and there is no display here.\n"
                     "Run it on a virtual display: xvfb-run -s '-screen 0 1600x1000x24' %s\n",
                     argv[0]);
        return 1;
    }
    setIdentity();
    QApplication app(argc, argv);
    CTolvaApp tolva(Clock::system());
    QStringList arguments = QApplication::arguments().mid(1);
    if (const CommandLine::Outcome late = CommandLine::decide(arguments, true);
        late.action != CommandLine::Action::Run) {
        std::fputs(late.text.toLocal8Bit().constData(),
                   late.action == CommandLine::Action::Answer ? stdout : stderr);
        return late.action == CommandLine::Action::Answer ? 0 : CommandLine::kUsageError;
    }
    arguments.removeOne(QStringLiteral("--"));
    tolva.handleStopRequests();
    // QDir::currentPath() of a folder whose name is not UTF-8 names another folder: refuse it instead.
    QString workDir;
    if (!FolderName::currentDirectory(workDir)) {
        const QString message =
            workDir.isEmpty()
                ? QStringLiteral("Tolva cannot read the name of the folder it was started in.")
                : QStringLiteral("Tolva cannot start here: %1.").arg(FolderName::notNameable(workDir));
        std::fprintf(stderr, "%s\n", qPrintable(message));
        tolva.tell(message);
        return 1;
    }
    switch (tolva.InitInstance(arguments, workDir)) {
    case Outcome::Started:
        break;
    case Outcome::FolderInUse:
        return 2;
    case Outcome::Failed:
        return 1;
    case Outcome::Stopped:
        tolva.ExitInstance();
        return tolva.stopCode();
    }
    const int rc = QApplication::exec();
    tolva.ExitInstance();
    return rc;
}

void CTolvaApp::setMessageSink(CMainFrame::MessageSink sink)
{
    m_sink = std::move(sink);
    if (m_frame && m_sink)
        m_frame->setMessageSink(m_sink);
}

void CTolvaApp::tell(const QString& message)
{
    if (m_sink)
        m_sink(message);
    else
        QMessageBox::warning(nullptr, QStringLiteral("Tolva"), message);
}

CTolvaApp::Outcome CTolvaApp::InitInstance(const QStringList& arguments, const QString& workDir)
{
    setIdentity();
    m_recentFiles = std::make_unique<RecentFiles>();

    // The lock comes first, before the main frame touches the folder at all. YEARS is the folder that
    // DataStore::CaptureWorkDir makes there.
    m_lock =
        std::make_unique<DataFolderLock>(QFileInfo(workDir).absoluteFilePath() + QStringLiteral("/YEARS"));
    switch (m_lock->tryLock()) {
    case DataFolderLock::Status::InUse:
        std::fprintf(stderr, "%s\n", qPrintable(m_lock->message()));
        tell(m_lock->message());
        return Outcome::FolderInUse;
    case DataFolderLock::Status::Failed:
        // A folder we cannot lock is one we can hardly write either; the saves will say so.
        tell(m_lock->message());
        break;
    case DataFolderLock::Status::Locked:
    case DataFolderLock::Status::Unlocked:
        break;
    }

    if (!qobject_cast<DeferredStyleIcons*>(QApplication::style())) {
        // The same style the platform, QT_STYLE_OVERRIDE or -style chose.
        QApplication::setStyle(new DeferredStyleIcons(QStyleFactory::create(QApplication::style()->name())));
    }
    // Also the year windows' title bar icon from their first moment, so that they never ask the style
    // for its default one.
    QApplication::setWindowIcon(Icons::named("tolva"));
    FontSizeCache::instance().load(
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
            .filePath(QStringLiteral("tolva/font-sizes.json")));
    m_frame = std::make_unique<CMainFrame>(workDir, m_clock);
    if (m_sink)
        m_frame->setMessageSink(m_sink);
    connect(m_frame.get(), &CMainFrame::fileOpened, this,
            [this](const QString& path) { m_recentFiles->add(path); });
    if (!m_frame->LoadFrame())
        return Outcome::Failed;
    // A stop that came while a start-up message was shown: the rest of start-up must not run.
    if (m_stopping)
        return Outcome::Stopped;

    // Without arguments: the year windows of last time, or New at the first start. Each file name opens a
    // fresh year window, as Ctrl+O does.
    bool opened = false;
    if (arguments.isEmpty())
        opened = m_frame->restoreSession(WindowSession::load()) || m_frame->OnFileNew() != nullptr;
    for (const QString& file : arguments)
        opened = m_frame->OnFileOpen(file) != nullptr || opened;
    if (m_stopping)
        return Outcome::Stopped;
    if (!opened)
        return Outcome::Failed;

    m_frame->show();
    return Outcome::Started;
}

void CTolvaApp::ExitInstance()
{
    // The frame closes the year windows (each saves) and then writes the defaults.
    m_frame.reset();
    if (m_recentFiles) {
        m_recentFiles->save();
        QSettings().sync();
    }
    if (m_lock)
        m_lock->unlock();
}

void CTolvaApp::handleStopRequests()
{
    if (m_stopSignals)
        return;
    m_stopSignals = new StopSignals(this);
    connect(m_stopSignals, &StopSignals::stopRequested, this, [this](int signal) {
        if (m_stopping) {
            // Asked again while the first stop is still saving (a hung disk): the default action now.
            std::signal(signal, SIG_DFL);
            std::raise(signal);
            return;
        }
        stopNow(StopSignals::signalName(signal));
    });
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { stopNow(QStringLiteral("the session ends")); });
    }
}

void CTolvaApp::stopNow(const QString& why)
{
    if (m_stopping)
        return;
    m_stopping = true;
    const auto toStderr = [](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); };
    setMessageSink(toStderr);
    bool saved = true;
    if (m_frame)
        saved = m_frame->saveEverything();
    if (!saved)
        std::fprintf(stderr, "Tolva stopped (%s); some data could not be saved, see above.\n",
                     qPrintable(why));
    m_stopCode = saved ? 0 : 1;
    // Ends every running loop, and makes each loop started later (the rest of start-up) return at once.
    QCoreApplication::exit(m_stopCode);
}
