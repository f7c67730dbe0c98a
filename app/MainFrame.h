#pragma once

#include "DataStore.h"
#include "DisplaySettings.h"
#include "FrameCommands.h"
#include "HelpWindow.h"
#include "StoreResult.h"
#include "WindowSession.h"
#include "YearPainter.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class AlarmWatch;
class CChildFrame;
class CTolvaDoc;
class CTolvaView;
class FindDialog;
class Clock;
class SyncService;
class QAction;
class QLabel;
class QMdiArea;
class QPrinter;
class QThread;
class ViewCommands;
class YearRegistry;

// The main window: the MDI area with the year windows and their documents, the status bar with its message
// pane and the CAP, NUM and SCRL indicators, and the handlers of the frame's commands (whose actions, menus
// and toolbar FrameCommands builds). It owns the
// process's year painter, the data folder and the display defaults: it captures the folder when it is
// constructed, loads the defaults in LoadFrame(), before any year window exists, and writes them in its
// destructor, after the last year window has saved and gone.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kMenuNoYear = FrameCommands::kMenuNoYear;
    static constexpr int kMenuYear = FrameCommands::kMenuYear;
    static constexpr auto kIdlePrompt = " ";
    static constexpr auto kHelpModePrompt = "Select an object on which to get Help";
    static constexpr int kAfterFirstPaintMs = 100;

    // Command ids of the menus and accelerators (CMainFrame::ID_FILE_NEW, ...).
    using Command = FrameCommands::Command;
    using enum FrameCommands::Command;

    using MessageSink = std::function<void(const QString& message)>;

    // Captures `workDir` (YEARS is created there). No window is built yet.
    explicit CMainFrame(const QString& workDir, const Clock& clock, QWidget* parent = nullptr);
    // Closes the year windows that are still open (each saves its year), then writes the defaults.
    ~CMainFrame() override;

    // Builds menus, toolbar and status bar, points g_pYearPainter at this frame's painter and loads the
    // defaults. An unreadable defaults file is reported and the built-in defaults are used.
    bool LoadFrame();

    // Where problems go (a damaged file, a failed save); a warning box by default.
    void setMessageSink(MessageSink sink);
    void report(const QString& message);

    const DataStore& store() const { return m_store; }
    YearRegistry& registry() const { return *m_registry; }
    ViewCommands& viewCommands() const { return *m_viewCommands; }
    QMdiArea* mdiArea() const { return m_mdiArea; }
    int menuId() const { return m_commands->menuId(); }
    QList<CChildFrame*> yearWindows() const { return m_frames; }
    // The current year window, also while the program is not the active application.
    CChildFrame* activeYearWindow() const;
    CTolvaView* activeView() const;
    QLabel* indicator(int i) const { return m_indicators[i]; }
    // The action of a command id of the menus and accelerators (57600 New, 57607 Print, ...); null for the
    // year commands, which ViewCommands holds.
    QAction* command(int id) const { return m_commands->action(id); }
    QPrinter& printer();

    // The frame's place and the year windows now, and showing them again at start-up. restoreSession()
    // opens the kept years (false when it opened none) and puts the frame where it was, on a screen.
    WindowSession captureSession() const;
    bool restoreSession(const WindowSession& session);

    // Saves every open year, the every-year red days and the defaults now (session end, stop signals).
    // True when all of it reached the disk.
    bool saveEverything();

public slots:
    CChildFrame* OnFileNew();
    // Asks for a file unless one is given; whatever it holds, a fresh year window opens.
    CChildFrame* OnFileOpen(const QString& path = QString());
    // Closes the active document with all its year windows.
    void OnFileClose();
    void OnFilePrint();
    void OnFilePrintPreview();
    void OnFilePrintSetup();
    // The calendar account dialog; the passwords it keeps for the run stay with the frame.
    void OnFileAccount();
    // The calendar sync, loaded on first use or once the frame has painted; null (with the reason told
    // once) where it cannot load.
    SyncService* sync();
    void OnAppExit();
    // The Find dialog over every year file (made on first use).
    void OnEditFind();
    FindDialog* findDialog() const;
    void OnViewGotoDate();
    // Shows the day in the active year window (a new one when none is open) and brings it to the front.
    void showDay(int year, int month, int day);
    CChildFrame* OnWindowNew();
    // Lines the minimised year windows up along the bottom of the MDI area.
    void OnWindowArrange();
    // Shows the manual; F1 too.
    void OnHelpFinder();
    HelpWindow* helpWindow() const { return m_helpWindow; }
    void OnContextHelp();
    void OnAppAbout();

signals:
    // A file was opened (Ctrl+O or the command line), for the recent-file list.
    void fileOpened(const QString& path);
    // In the destructor, after the last year window is gone and before the defaults are written.
    void aboutToSaveDefaults();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectCommands();
    void createStatusBar();
    // `year` 0: the current year.
    CChildFrame* createYearWindow(CTolvaDoc* document, int year = 0);
    void childClosed(CChildFrame* frame);
    void renumberWindows();
    void updateMenus();
    void updateFrameTitle();
    void updateIndicators();
    void placeFrame(const QRect& geometry, bool maximized);
    void closeAllYearWindows(bool force);
    // What start-up leaves until the window has painted and taken its first input.
    void afterFirstPaint();
    // The box of an alarm of a year no window shows, as a window shows its own.
    void showAlarm(const QString& message);
    StoreResult saveDefaults() const;
    // Saves the defaults when the file does not hold them; tells a failure once. True when on disk.
    bool writeDefaults();

    DataStore m_store;
    StoreResult m_captureResult;
    bool m_defaultsLeftUnread = false;
    QString m_defaultsTold;
    const Clock& m_clock;
    CYearPainter m_painter;
    CYearPainter* m_previousPainter = nullptr;
    std::unique_ptr<YearRegistry> m_registry;
    std::unique_ptr<AlarmWatch> m_alarmWatch;
    std::unique_ptr<QPrinter> m_printer;
    MessageSink m_messageSink;

    QMdiArea* m_mdiArea = nullptr;
    ViewCommands* m_viewCommands = nullptr;
    QList<CChildFrame*> m_frames;
    FrameCommands* m_commands = nullptr;
    SyncService* m_sync = nullptr;
    bool m_syncTried = false;
    bool m_afterFirstPaintQueued = false;
    std::unique_ptr<QThread> m_syncPreload;
    QString m_syncError;
    QLabel* m_indicators[3] = {};
    QPointer<HelpWindow> m_helpWindow;
    QPointer<FindDialog> m_findDialog;
};
