#pragma once

#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QToolBar;
class ViewCommands;

// The main frame's commands as the user reaches them: one QAction per command id with its text, prompt,
// shortcut and icon, the two menu sets (128 while no year window is open, 129 otherwise) and the toolbar.
// It decides nothing about windows or documents: the frame connects the actions to its handlers and tells
// it, after every change, what is open so that it can switch menus and enable commands.
class FrameCommands : public QObject
{
    Q_OBJECT

public:
    // Menu, toolbar and accelerator resource ids of the two menu sets.
    static constexpr int kMenuNoYear = 128;
    static constexpr int kMenuYear = 129;
    static constexpr int kListedWindows = 9;

    // Command ids of the menus and accelerators.
    enum Command : int {
        ID_FILE_NEW = 57600,
        ID_FILE_OPEN = 57601,
        ID_FILE_CLOSE = 57602,
        ID_FILE_SAVE = 57603,
        ID_FILE_PRINT_SETUP = 57606,
        ID_FILE_PRINT = 57607,
        ID_FILE_PRINT_PREVIEW = 57609,
        ID_EDIT_FIND = 57636,
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
        ID_FILE_ACCOUNT = 32800,
        ID_FILE_SYNC_NOW = 32801,
        ID_VIEW_GOTO_DATE = 32794,
    };

    // Builds every action, both menu sets and the toolbar (docked at the top of `frame`). The accelerators
    // are added to `frame`, so that they work whichever menu is shown. The year commands' actions stay
    // with `viewCommands`; they only get their icons and places here.
    FrameCommands(QMainWindow* frame, ViewCommands* viewCommands);

    // Null for an id that is not one of the frame's commands.
    QAction* action(int id) const { return m_actions.value(id); }
    QToolBar* toolBar() const { return m_toolBar; }
    int menuId() const { return m_menuId; }

    // One open year window as the Window menu lists it.
    struct WindowEntry
    {
        QString caption;
        bool active = false;
        std::function<void()> activate;
    };
    using WindowList = std::function<QList<WindowEntry>()>;
    // The Window menu asks `list` each time it opens and lists the windows after its commands: "&1 2026"
    // up to nine of them, the active one checked, then "&More Windows..." for the rest.
    void setWindowList(WindowList list) { m_windowList = std::move(list); }
    QMenu* windowMenu() const { return m_windowMenu; }
    // Fills the Window menu's list now (the menu does it itself when it opens).
    void refreshWindowList();

    // Shows the menu set that fits and enables what can be done: `yearWindows` open, `haveView` when one
    // of them is active.
    void update(QMenuBar* menuBar, bool yearWindows, bool haveView);

private:
    void createActions();
    void createMenus(QMainWindow* frame);
    void createToolBar(QMainWindow* frame);

    ViewCommands* m_viewCommands;
    QHash<int, QAction*> m_actions;
    QList<QMenu*> m_menus128;
    QList<QMenu*> m_menus129;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_windowMenu = nullptr;
    QList<QAction*> m_windowEntries;
    WindowList m_windowList;
    int m_menuId = 0;
};
