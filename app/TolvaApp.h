#pragma once

#include "MainFrame.h"

#include <QDir>
#include <QObject>
#include <QStringList>

#include <memory>

class Clock;
class DataFolderLock;
class RecentFiles;
class StopSignals;

// The application: start-up and shutdown in their fixed order, the recent-file list, and stopping cleanly
// on session end and on SIGTERM, SIGHUP and SIGINT. main() only makes the QApplication and calls run().
//
// Start-up (InitInstance): identity and settings, the recent-file list, the data folder's lock (a second
// planner on the same folder stops here without writing anything), the main frame (working directory
// captured and YEARS created, then the defaults loaded), the command line (no arguments: the first year
// window), and the main window shown.
// Shutdown (ExitInstance): the main frame goes, closing every year window (each saves its year) and then
// writing the defaults; the settings are written and the lock is released.
class CTolvaApp : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Started,
        FolderInUse, // another running planner holds the data folder
        Failed,      // the first year window could not be made
        Stopped,     // a stop signal or the session's end came during start-up; everything is saved
    };

    // The desktop file's id, which is also the icon's name.
    static constexpr auto kDesktopId = "org.quillmoor.Tolva";

    explicit CTolvaApp(const Clock& clock, QObject* parent = nullptr);
    ~CTolvaApp() override;

    // Organisation, name, version and desktop file name: before the QApplication exists, so that the
    // platform sees them from the start.
    static void setIdentity();
    // The whole program: checks for a display, builds the QApplication, runs start-up, the event loop and
    // shutdown. The exit code of the process.
    static int run(int argc, char* argv[]);

    // `arguments` without the program name and without Qt's own options.
    Outcome InitInstance(const QStringList& arguments, const QString& workDir = QDir::currentPath());
    void ExitInstance();

    CMainFrame* mainFrame() const { return m_frame.get(); }
    const RecentFiles& recentFiles() const { return *m_recentFiles; }
    const DataFolderLock* folderLock() const { return m_lock.get(); }

    // Where the messages of start-up and of the main frame go; message boxes by default.
    void setMessageSink(CMainFrame::MessageSink sink);

    // Turns stop signals into stopNow(); session end (commitDataRequest) too.
    void handleStopRequests();
    // Saves every open year, the every-year red days and the defaults, then ends the event loop (also
    // any modal loop on top of it; during start-up, a message box's loop and every later one return at
    // once, InitInstance answers Stopped and the main loop never starts). Problems go to standard error:
    // nobody is there to click a box. A second stop request ends the process at once.
    void stopNow(const QString& why);
    bool isStopping() const { return m_stopping; }
    // The exit code a stop chose: 0 when everything reached the disk, 1 otherwise.
    int stopCode() const { return m_stopCode; }

private:
    void tell(const QString& message);

    const Clock& m_clock;
    CMainFrame::MessageSink m_sink;
    std::unique_ptr<RecentFiles> m_recentFiles;
    std::unique_ptr<DataFolderLock> m_lock;
    std::unique_ptr<CMainFrame> m_frame;
    StopSignals* m_stopSignals = nullptr;
    bool m_stopping = false;
    int m_stopCode = 0;
};
