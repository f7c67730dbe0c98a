#pragma once

#include "DataStore.h"
#include "DisplaySettings.h"
#include "StoreResult.h"
#include "YearPainter.h"

#include <QHash>
#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>

class CChildFrame;
class CTolvaDoc;
class CTolvaView;
class Clock;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QPrinter;
class QToolBar;
class ViewCommands;
class YearRegistry;

// The main window: the MDI area with the year windows, menus 128 (no year window) and 129 (one or more),
// the toolbar, and the status bar with its message pane and the CAP, NUM and SCRL indicators. It owns the
// process's year painter, the data folder and the display defaults: it captures the folder when it is
// constructed, loads the defaults in LoadFrame(), before any year window exists, and writes them in its
// destructor, after the last year window has saved and gone.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    // Menu, toolbar and accelerator resource ids of the two menu sets.
    static constexpr int kMenuNoYear = 128;
    static constexpr int kMenuYear = 129;
    static constexpr auto kIdlePrompt = " ";
    static constexpr auto kHelpModePrompt = "Select an object on which to get Help";

    // Command ids of the menus and accelerators.
    enum Command : int {
        ID_FILE_NEW = 57600,
        ID_FILE_OPEN = 57601,
        ID_FILE_CLOSE = 57602,
        ID_FILE_SAVE = 57603,
        ID_FILE_PRINT_SETUP = 57606,
        ID_FILE_PRINT = 57607,
        ID_FILE_PRINT_PREVIEW = 57609,
        ID_WINDOW_NEW = 57648,
        ID_WINDOW_ARRANGE = 57649,
        ID_WINDOW_CASCADE = 57650,
        ID_WINDOW_TILE_HORZ = 57651,
        ID_APP_ABOUT = 57664,
        ID_APP_EXIT = 57665,
        ID_HELP_FINDER = 57667,
        ID_CONTEXT_HELP = 57669,
        ID_HELP = 57670,
        ID_NEXT_PANE = 57680,
        ID_PREV_PANE = 57681,
        ID_VIEW_TOOLBAR = 59392,
        ID_VIEW_STATUS_BAR = 59393,
    };

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
    int menuId() const { return m_menuId; }
    QList<CChildFrame*> yearWindows() const { return m_frames; }
    // The current year window, also while the program is not the active application.
    CChildFrame* activeYearWindow() const;
    CTolvaView* activeView() const;
    QLabel* indicator(int i) const { return m_indicators[i]; }
    // The action of a command id of the menus and accelerators (57600 New, 57607 Print, ...); null for the
    // year commands, which ViewCommands holds.
    QAction* command(int id) const { return m_commands.value(id); }
    QPrinter& printer();

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
    void OnAppExit();
    CChildFrame* OnWindowNew();
    // Lines the minimised year windows up along the bottom of the MDI area.
    void OnWindowArrange();
    void OnHelpFinder();
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
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    CChildFrame* createYearWindow(CTolvaDoc* document);
    void childClosed(CChildFrame* frame);
    void renumberWindows(CTolvaDoc* document);
    void updateMenus();
    void updateFrameTitle();
    void updateIndicators();
    void closeAllYearWindows(bool force);
    QString helpFilePath() const;
    StoreResult saveDefaults() const;

    DataStore m_store;
    StoreResult m_captureResult;
    bool m_defaultsLeftUnread = false;
    const Clock& m_clock;
    CYearPainter m_painter;
    CYearPainter* m_previousPainter = nullptr;
    std::unique_ptr<YearRegistry> m_registry;
    std::unique_ptr<QPrinter> m_printer;
    MessageSink m_messageSink;

    QMdiArea* m_mdiArea = nullptr;
    ViewCommands* m_viewCommands = nullptr;
    QList<CChildFrame*> m_frames;
    int m_menuId = 0;

    QHash<int, QAction*> m_commands;
    QList<QMenu*> m_menus128;
    QList<QMenu*> m_menus129;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_indicators[3] = {};
};
