#include "FrameCommands.h"

#include "Icons.h"
#include "ViewCommands.h"

#include <QAction>
#include <QIcon>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include <iterator>

namespace {

// The framework's standard prompts: status-bar text before the line break, tooltip after it.
struct CommandText
{
    int id;
    const char* text;
    const char* prompt;
};

using FC = FrameCommands;

constexpr CommandText kCommands[] = {
    {FC::ID_FILE_NEW, "&New", "Create a new document\nNew"},
    {FC::ID_FILE_OPEN, "&Open...", "Open an existing document\nOpen"},
    {FC::ID_FILE_CLOSE, "&Close", "Close the active document\nClose"},
    {FC::ID_FILE_SAVE, "&Save", "Save the active document\nSave"},
    {FC::ID_FILE_PRINT, "&Print...", "Print the active document\nPrint"},
    {FC::ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Display full pages\nPrint Preview"},
    {FC::ID_FILE_PRINT_SETUP, "P&rint Setup...", "Change the printer and printing options\nPrint Setup"},
    {FC::ID_FILE_ACCOUNT, "Calendar &Account...",
     "Set up the calendar server the planner syncs with\nCalendar Account"},
    {FC::ID_FILE_SYNC_NOW, "Sync &Now", "Sync the years with the calendar account now\nSync Now"},
    {FC::ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {FC::ID_EDIT_FIND, "&Find...",
     "Find a text in the memos, red days, alarms and projects of every year\nFind"},
    {FC::ID_VIEW_GOTO_DATE, "&Go to Date...", "Show a date's year and select the day\nGo to Date"},
    {FC::ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar"},
    {FC::ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {FC::ID_WINDOW_NEW, "&New Window", "Open another window for the active document\nNew Window"},
    {FC::ID_WINDOW_CASCADE, "&Cascade", "Arrange windows so they overlap\nCascade Windows"},
    {FC::ID_WINDOW_TILE_HORZ, "&Tile", "Arrange windows as non-overlapping tiles\nTile Windows"},
    {FC::ID_WINDOW_ARRANGE, "&Arrange Icons", "Arrange icons at the bottom of the window\nArrange Icons"},
    {FC::ID_HELP_FINDER, "&Help Topics", "List Help topics\nHelp Topics"},
    {FC::ID_APP_ABOUT, "&About Tolva...", "Display program information, version number and copyright\nAbout"},
    {FC::ID_HELP, "Help", "Display help for current task or command\nHelp"},
    {FC::ID_CONTEXT_HELP, "Context Help", "Display help for clicked on buttons, menus and windows\nHelp"},
    {FC::ID_NEXT_PANE, "Next Pane", "Switch to the next window pane\nNext Pane"},
    {FC::ID_PREV_PANE, "Previous Pane", "Switch back to the previous window pane\nPrevious Pane"},
};

QIcon icon(const char* name)
{
    return Icons::named(name);
}

void setPrompt(QAction* action, const QString& prompt)
{
    const qsizetype cut = prompt.indexOf(QLatin1Char('\n'));
    action->setStatusTip(cut < 0 ? prompt : prompt.left(cut));
    action->setToolTip(cut < 0 ? prompt : prompt.mid(cut + 1));
}

} // namespace

FrameCommands::FrameCommands(QMainWindow* frame, ViewCommands* viewCommands)
    : QObject(frame), m_viewCommands(viewCommands)
{
    createActions();
    // Accelerators work anywhere in the frame, whichever menu is shown (some have no menu entry at all).
    for (const int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_PRINT, ID_HELP, ID_CONTEXT_HELP,
                         ID_NEXT_PANE, ID_PREV_PANE})
        frame->addAction(action(id));
    createMenus(frame);
    createToolBar(frame);
}

void FrameCommands::createActions()
{
    for (const CommandText& c : kCommands) {
        auto* a = new QAction(QString::fromUtf8(c.text), this);
        setPrompt(a, QString::fromUtf8(c.prompt));
        m_actions.insert(c.id, a);
    }

    action(ID_FILE_NEW)->setIcon(icon("new"));
    action(ID_FILE_NEW)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    action(ID_FILE_OPEN)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    action(ID_FILE_SAVE)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    action(ID_FILE_PRINT)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    action(ID_EDIT_FIND)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    action(ID_VIEW_GOTO_DATE)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    action(ID_HELP)->setShortcut(QKeySequence(Qt::Key_F1));
    action(ID_CONTEXT_HELP)->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    action(ID_NEXT_PANE)->setShortcut(QKeySequence(Qt::Key_F6));
    action(ID_PREV_PANE)->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));

    action(ID_VIEW_TOOLBAR)->setCheckable(true);
    action(ID_VIEW_STATUS_BAR)->setCheckable(true);
    action(ID_VIEW_TOOLBAR)->setChecked(true);
    action(ID_VIEW_STATUS_BAR)->setChecked(true);

    const QIcon viewIcons[] = {icon("year-plus"),   icon("year-minus"), icon("today"),
                               icon("day-numbers"), icon("sundays"),    icon("project-lines"),
                               icon("memo-alarm"),  icon("red-days")};
    const QList<QAction*> viewActions = m_viewCommands->actions();
    for (qsizetype i = 0; i < viewActions.size() && i < qsizetype(std::size(viewIcons)); ++i)
        viewActions.at(i)->setIcon(viewIcons[i]);
}

void FrameCommands::createMenus(QMainWindow* frame)
{
    auto cmd = [this](int id) { return action(id); };
    auto view = [this](ViewCommands::Command c) { return m_viewCommands->action(c); };
    using VC = ViewCommands::Command;
    // Owned by the frame: a menu bar's clear() only takes them off the bar.
    QWidget* owner = frame;

    // Menu 128: no year window open.
    auto* file128 = new QMenu(QStringLiteral("&File"), owner);
    file128->addAction(cmd(ID_FILE_NEW));
    file128->addSeparator();
    file128->addAction(cmd(ID_FILE_PRINT_SETUP));
    file128->addSeparator();
    file128->addAction(cmd(ID_FILE_ACCOUNT));
    file128->addAction(cmd(ID_FILE_SYNC_NOW));
    file128->addSeparator();
    file128->addAction(cmd(ID_FILE_CLOSE));
    file128->addAction(cmd(ID_APP_EXIT));
    auto* view128 = new QMenu(QStringLiteral("&View"), owner);
    view128->addAction(cmd(ID_VIEW_TOOLBAR));
    view128->addAction(cmd(ID_VIEW_STATUS_BAR));
    auto* help128 = new QMenu(QStringLiteral("&Help"), owner);
    help128->addAction(cmd(ID_HELP_FINDER));
    help128->addAction(cmd(ID_APP_ABOUT));
    m_menus128 = {file128, view128, help128};

    // Menu 129: one or more year windows.
    auto* file129 = new QMenu(QStringLiteral("&File"), owner);
    file129->addAction(cmd(ID_FILE_NEW));
    file129->addAction(cmd(ID_FILE_CLOSE));
    file129->addSeparator();
    file129->addAction(cmd(ID_FILE_PRINT));
    file129->addAction(cmd(ID_FILE_PRINT_PREVIEW));
    file129->addAction(cmd(ID_FILE_PRINT_SETUP));
    file129->addSeparator();
    file129->addAction(cmd(ID_FILE_ACCOUNT));
    file129->addAction(cmd(ID_FILE_SYNC_NOW));
    file129->addSeparator();
    file129->addAction(cmd(ID_APP_EXIT));
    auto* edit129 = new QMenu(QStringLiteral("&Edit"), owner);
    edit129->addAction(m_viewCommands->undoAction());
    edit129->addAction(m_viewCommands->redoAction());
    edit129->addSeparator();
    edit129->addAction(cmd(ID_EDIT_FIND));
    auto* view129 = new QMenu(QStringLiteral("&View"), owner);
    view129->addAction(cmd(ID_VIEW_TOOLBAR));
    view129->addAction(cmd(ID_VIEW_STATUS_BAR));
    view129->addSeparator();
    view129->addAction(view(VC::YearPlus));
    view129->addAction(view(VC::YearMinus));
    view129->addAction(view(VC::Today));
    view129->addAction(cmd(ID_VIEW_GOTO_DATE));
    view129->addSeparator();
    for (const VC c :
         {VC::ShowDayNumbers, VC::ShowSundays, VC::ShowProjectLines, VC::ShowMemoAlarm, VC::ShowRedDays})
        view129->addAction(view(c));
    auto* window129 = new QMenu(QStringLiteral("&Window"), owner);
    window129->addAction(cmd(ID_WINDOW_NEW));
    window129->addAction(cmd(ID_WINDOW_CASCADE));
    window129->addAction(cmd(ID_WINDOW_TILE_HORZ));
    window129->addAction(cmd(ID_WINDOW_ARRANGE));
    m_windowMenu = window129;
    connect(window129, &QMenu::aboutToShow, this, &FrameCommands::refreshWindowList);
    auto* help129 = new QMenu(QStringLiteral("&Help"), owner);
    help129->addAction(cmd(ID_HELP_FINDER));
    help129->addSeparator();
    help129->addAction(cmd(ID_APP_ABOUT));
    m_menus129 = {file129, edit129, view129, window129, help129};
}

void FrameCommands::createToolBar(QMainWindow* frame)
{
    using VC = ViewCommands::Command;
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), frame);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->addAction(action(ID_FILE_NEW));
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_viewCommands->action(VC::Today));
    m_toolBar->addAction(m_viewCommands->action(VC::YearPlus));
    m_toolBar->addAction(m_viewCommands->action(VC::YearMinus));
    m_toolBar->addSeparator();
    for (const VC c :
         {VC::ShowDayNumbers, VC::ShowSundays, VC::ShowProjectLines, VC::ShowMemoAlarm, VC::ShowRedDays})
        m_toolBar->addAction(m_viewCommands->action(c));
    frame->addToolBar(Qt::TopToolBarArea, m_toolBar);
    // Qt's overflow button, shown when the toolbar is too short for its buttons, has no name of its own.
    if (auto* more = m_toolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("More toolbar buttons"));

    QAction* toggle = action(ID_VIEW_TOOLBAR);
    connect(toggle, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void FrameCommands::update(QMenuBar* menuBar, bool yearWindows, bool haveView)
{
    const int wanted = yearWindows ? kMenuYear : kMenuNoYear;
    if (wanted != m_menuId) {
        m_menuId = wanted;
        menuBar->clear();
        for (QMenu* menu : wanted == kMenuYear ? m_menus129 : m_menus128)
            menuBar->addMenu(menu);
    }
    for (const int id :
         {ID_FILE_CLOSE, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_WINDOW_NEW, ID_VIEW_GOTO_DATE})
        action(id)->setEnabled(haveView);
    for (const int id : {ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE})
        action(id)->setEnabled(yearWindows);
}

void FrameCommands::refreshWindowList()
{
    for (QAction* a : std::as_const(m_windowEntries)) {
        m_windowMenu->removeAction(a);
        a->deleteLater();
    }
    m_windowEntries.clear();
    const QList<WindowEntry> windows = m_windowList ? m_windowList() : QList<WindowEntry>();
    if (windows.isEmpty())
        return;
    m_windowEntries.append(m_windowMenu->addSeparator());
    for (qsizetype i = 0; i < windows.size() && i < kListedWindows; ++i) {
        const WindowEntry& w = windows.at(i);
        // An ampersand in a caption is text, not a mnemonic.
        QString caption = w.caption;
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(caption));
        a->setCheckable(true);
        a->setChecked(w.active);
        a->setStatusTip(QStringLiteral("Activate this window"));
        connect(a, &QAction::triggered, this, [activate = w.activate] { activate(); });
        m_windowEntries.append(a);
    }
    if (windows.size() > kListedWindows) {
        QAction* more = m_windowMenu->addAction(QStringLiteral("&More Windows..."));
        more->setStatusTip(QStringLiteral("Choose from all open windows"));
        connect(more, &QAction::triggered, this, [this, windows] {
            QStringList captions;
            int current = 0;
            for (qsizetype i = 0; i < windows.size(); ++i) {
                captions.append(windows.at(i).caption);
                if (windows.at(i).active)
                    current = int(i);
            }
            bool ok = false;
            const QString chosen =
                QInputDialog::getItem(m_windowMenu->parentWidget(), QStringLiteral("Select Window"),
                                      QStringLiteral("Windows:"), captions, current, false, &ok);
            const qsizetype at = captions.indexOf(chosen);
            if (ok && at >= 0)
                windows.at(at).activate();
        });
        m_windowEntries.append(more);
    }
}
