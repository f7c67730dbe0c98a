#include "MainFrame.h"

#include "AboutDialog.h"
#include "ChildFrame.h"
#include "InvalidArgument.h"
#include "KeyLockState.h"
#include "TolvaDoc.h"
#include "TolvaView.h"
#include "ViewCommands.h"
#include "YearPrinter.h"
#include "YearRegistry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWhatsThis>

#include <algorithm>

namespace {

// The framework's standard prompts: status-bar text before the line break, tooltip after it.
struct CommandText
{
    int id;
    const char* text;
    const char* prompt;
};

constexpr CommandText kCommands[] = {
    {CMainFrame::ID_FILE_NEW, "&New", "Create a new document\nNew"},
    {CMainFrame::ID_FILE_OPEN, "&Open...", "Open an existing document\nOpen"},
    {CMainFrame::ID_FILE_CLOSE, "&Close", "Close the active document\nClose"},
    {CMainFrame::ID_FILE_SAVE, "&Save", "Save the active document\nSave"},
    {CMainFrame::ID_FILE_PRINT, "&Print...", "Print the active document\nPrint"},
    {CMainFrame::ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Display full pages\nPrint Preview"},
    {CMainFrame::ID_FILE_PRINT_SETUP, "P&rint Setup...",
     "Change the printer and printing options\nPrint Setup"},
    {CMainFrame::ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {CMainFrame::ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar"},
    {CMainFrame::ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {CMainFrame::ID_WINDOW_NEW, "&New Window", "Open another window for the active document\nNew Window"},
    {CMainFrame::ID_WINDOW_CASCADE, "&Cascade", "Arrange windows so they overlap\nCascade Windows"},
    {CMainFrame::ID_WINDOW_TILE_HORZ, "&Tile", "Arrange windows as non-overlapping tiles\nTile Windows"},
    {CMainFrame::ID_WINDOW_ARRANGE, "&Arrange Icons",
     "Arrange icons at the bottom of the window\nArrange Icons"},
    {CMainFrame::ID_HELP_FINDER, "&Help Topics", "List Help topics\nHelp Topics"},
    {CMainFrame::ID_APP_ABOUT, "&About Tolva...",
     "Display program information, version number and copyright\nAbout"},
    {CMainFrame::ID_HELP, "Help", "Display help for current task or command\nHelp"},
    {CMainFrame::ID_CONTEXT_HELP, "Context Help",
     "Display help for clicked on buttons, menus and windows\nHelp"},
    {CMainFrame::ID_NEXT_PANE, "Next Pane", "Switch to the next window pane\nNext Pane"},
    {CMainFrame::ID_PREV_PANE, "Previous Pane", "Switch back to the previous window pane\nPrevious Pane"},
};

const char* const kIndicatorTexts[] = {"CAP", "NUM", "SCRL"};

const QString kAppTitle = QStringLiteral("Tolva");

QIcon icon(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

void setPrompt(QAction* action, const QString& prompt)
{
    const qsizetype cut = prompt.indexOf(QLatin1Char('\n'));
    action->setStatusTip(cut < 0 ? prompt : prompt.left(cut));
    action->setToolTip(cut < 0 ? prompt : prompt.mid(cut + 1));
}

} // namespace

// Q_INIT_RESOURCE must not sit in a namespace; the icons live in this static library.
static void initIconResources()
{
    Q_INIT_RESOURCE(tolva);
}

CMainFrame::CMainFrame(const QString& workDir, const Clock& clock, QWidget* parent)
    : QMainWindow(parent), m_clock(clock)
{
    initIconResources();
    m_captureResult = m_store.CaptureWorkDir(workDir);
    m_messageSink = [this](const QString& message) {
        QMessageBox::warning(isVisible() ? this : nullptr, kAppTitle, message);
    };
}

CMainFrame::~CMainFrame()
{
    closeAllYearWindows(true);
    if (m_registry) {
        emit aboutToSaveDefaults();
        if (const StoreResult r = saveDefaults(); !r.ok())
            report(r.message);
        // Saves whatever a view still held (none should be left).
        m_registry.reset();
    }
    if (g_pYearPainter == &m_painter)
        g_pYearPainter = m_previousPainter;
}

bool CMainFrame::LoadFrame()
{
    setWindowTitle(kAppTitle);
    setWindowIcon(icon("tolva"));
    setObjectName(QStringLiteral("CMainFrame"));

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    m_mdiArea->setWhatsThis(
        QStringLiteral("The year windows. Double-click a day (or press Enter) to edit it; "
                       "Page Up and Page Down step through the years."));
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this] {
        if (CTolvaView* view = activeView(); view || m_frames.isEmpty())
            m_viewCommands->setActiveView(view);
        updateMenus();
        updateFrameTitle();
    });

    m_viewCommands = new ViewCommands(this);
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();

    m_previousPainter = g_pYearPainter;
    g_pYearPainter = &m_painter;

    if (!m_captureResult.ok())
        report(m_captureResult.message);
    DisplaySettings defaults{};
    if (const StoreResult r = m_store.loadDefaults(defaults); !r.ok()) {
        m_defaultsLeftUnread = r.leftUnread;
        report(r.message);
    }
    m_registry = std::make_unique<YearRegistry>(m_store, defaults);
    connect(m_registry.get(), &YearRegistry::problem, this,
            [this](const StoreResult& result) { report(result.message); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        resize(available.size() * 0.85);
    }
    updateMenus();
    return true;
}

void CMainFrame::setMessageSink(MessageSink sink)
{
    m_messageSink = std::move(sink);
}

void CMainFrame::report(const QString& message)
{
    if (m_messageSink && !message.isEmpty())
        m_messageSink(message);
}

void CMainFrame::createActions()
{
    for (const CommandText& c : kCommands) {
        auto* action = new QAction(QString::fromUtf8(c.text), this);
        setPrompt(action, QString::fromUtf8(c.prompt));
        m_commands.insert(c.id, action);
    }
    auto cmd = [this](int id) { return m_commands.value(id); };

    cmd(ID_FILE_NEW)->setIcon(icon("new"));
    cmd(ID_FILE_NEW)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    cmd(ID_FILE_OPEN)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    cmd(ID_FILE_SAVE)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    cmd(ID_FILE_PRINT)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    cmd(ID_HELP)->setShortcut(QKeySequence(Qt::Key_F1));
    cmd(ID_CONTEXT_HELP)->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    cmd(ID_NEXT_PANE)->setShortcut(QKeySequence(Qt::Key_F6));
    cmd(ID_PREV_PANE)->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));

    connect(cmd(ID_FILE_NEW), &QAction::triggered, this, &CMainFrame::OnFileNew);
    connect(cmd(ID_FILE_OPEN), &QAction::triggered, this, [this] { OnFileOpen(); });
    connect(cmd(ID_FILE_CLOSE), &QAction::triggered, this, &CMainFrame::OnFileClose);
    // Save has nothing to do: years are stored when a window leaves them or closes.
    connect(cmd(ID_FILE_PRINT), &QAction::triggered, this, &CMainFrame::OnFilePrint);
    connect(cmd(ID_FILE_PRINT_PREVIEW), &QAction::triggered, this, &CMainFrame::OnFilePrintPreview);
    connect(cmd(ID_FILE_PRINT_SETUP), &QAction::triggered, this, &CMainFrame::OnFilePrintSetup);
    connect(cmd(ID_APP_EXIT), &QAction::triggered, this, &CMainFrame::OnAppExit);
    connect(cmd(ID_WINDOW_NEW), &QAction::triggered, this, &CMainFrame::OnWindowNew);
    connect(cmd(ID_WINDOW_CASCADE), &QAction::triggered, m_mdiArea, &QMdiArea::cascadeSubWindows);
    connect(cmd(ID_WINDOW_TILE_HORZ), &QAction::triggered, m_mdiArea, &QMdiArea::tileSubWindows);
    connect(cmd(ID_WINDOW_ARRANGE), &QAction::triggered, this, &CMainFrame::OnWindowArrange);
    connect(cmd(ID_HELP_FINDER), &QAction::triggered, this, &CMainFrame::OnHelpFinder);
    connect(cmd(ID_HELP), &QAction::triggered, this, &CMainFrame::OnHelpFinder);
    connect(cmd(ID_CONTEXT_HELP), &QAction::triggered, this, &CMainFrame::OnContextHelp);
    connect(cmd(ID_APP_ABOUT), &QAction::triggered, this, &CMainFrame::OnAppAbout);
    // Next and previous pane: a year window has no panes.

    // Accelerators work anywhere in the frame, whichever menu is shown (some have no menu entry at all).
    for (const int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_PRINT, ID_HELP, ID_CONTEXT_HELP,
                         ID_NEXT_PANE, ID_PREV_PANE})
        addAction(cmd(id));

    cmd(ID_VIEW_TOOLBAR)->setCheckable(true);
    cmd(ID_VIEW_STATUS_BAR)->setCheckable(true);

    const QIcon viewIcons[] = {icon("year-plus"),   icon("year-minus"), icon("today"),
                               icon("day-numbers"), icon("sundays"),    icon("project-lines"),
                               icon("memo-alarm"),  icon("red-days")};
    const QList<QAction*> viewActions = m_viewCommands->actions();
    for (qsizetype i = 0; i < viewActions.size() && i < qsizetype(std::size(viewIcons)); ++i)
        viewActions.at(i)->setIcon(viewIcons[i]);
}

void CMainFrame::createMenus()
{
    auto cmd = [this](int id) { return m_commands.value(id); };
    auto view = [this](ViewCommands::Command c) { return m_viewCommands->action(c); };
    using VC = ViewCommands::Command;

    // Menu 128: no year window open.
    auto* file128 = new QMenu(QStringLiteral("&File"), this);
    file128->addAction(cmd(ID_FILE_NEW));
    file128->addSeparator();
    file128->addAction(cmd(ID_FILE_PRINT_SETUP));
    file128->addSeparator();
    file128->addAction(cmd(ID_FILE_CLOSE));
    file128->addAction(cmd(ID_APP_EXIT));
    auto* view128 = new QMenu(QStringLiteral("&View"), this);
    view128->addAction(cmd(ID_VIEW_TOOLBAR));
    view128->addAction(cmd(ID_VIEW_STATUS_BAR));
    auto* help128 = new QMenu(QStringLiteral("&Help"), this);
    help128->addAction(cmd(ID_HELP_FINDER));
    help128->addAction(cmd(ID_APP_ABOUT));
    m_menus128 = {file128, view128, help128};

    // Menu 129: one or more year windows.
    auto* file129 = new QMenu(QStringLiteral("&File"), this);
    file129->addAction(cmd(ID_FILE_NEW));
    file129->addAction(cmd(ID_FILE_CLOSE));
    file129->addSeparator();
    file129->addAction(cmd(ID_FILE_PRINT));
    file129->addAction(cmd(ID_FILE_PRINT_PREVIEW));
    file129->addAction(cmd(ID_FILE_PRINT_SETUP));
    file129->addSeparator();
    file129->addAction(cmd(ID_APP_EXIT));
    auto* view129 = new QMenu(QStringLiteral("&View"), this);
    view129->addAction(cmd(ID_VIEW_TOOLBAR));
    view129->addAction(cmd(ID_VIEW_STATUS_BAR));
    view129->addSeparator();
    view129->addAction(view(VC::YearPlus));
    view129->addAction(view(VC::YearMinus));
    view129->addAction(view(VC::Today));
    view129->addSeparator();
    for (const VC c :
         {VC::ShowDayNumbers, VC::ShowSundays, VC::ShowProjectLines, VC::ShowMemoAlarm, VC::ShowRedDays})
        view129->addAction(view(c));
    auto* window129 = new QMenu(QStringLiteral("&Window"), this);
    window129->addAction(cmd(ID_WINDOW_NEW));
    window129->addAction(cmd(ID_WINDOW_CASCADE));
    window129->addAction(cmd(ID_WINDOW_TILE_HORZ));
    window129->addAction(cmd(ID_WINDOW_ARRANGE));
    auto* help129 = new QMenu(QStringLiteral("&Help"), this);
    help129->addAction(cmd(ID_HELP_FINDER));
    help129->addSeparator();
    help129->addAction(cmd(ID_APP_ABOUT));
    m_menus129 = {file129, view129, window129, help129};
}

void CMainFrame::createToolBar()
{
    using VC = ViewCommands::Command;
    m_toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->addAction(m_commands.value(ID_FILE_NEW));
    m_toolBar->addSeparator();
    m_toolBar->addAction(m_viewCommands->action(VC::Today));
    m_toolBar->addAction(m_viewCommands->action(VC::YearPlus));
    m_toolBar->addAction(m_viewCommands->action(VC::YearMinus));
    m_toolBar->addSeparator();
    for (const VC c :
         {VC::ShowDayNumbers, VC::ShowSundays, VC::ShowProjectLines, VC::ShowMemoAlarm, VC::ShowRedDays})
        m_toolBar->addAction(m_viewCommands->action(c));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // Qt's overflow button, shown when the toolbar is too short for its buttons, has no name of its own.
    if (auto* more = m_toolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("More toolbar buttons"));

    QAction* toggle = m_commands.value(ID_VIEW_TOOLBAR);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::createStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QLatin1String(kIndicatorTexts[i]), bar);
        label->setObjectName(QStringLiteral("indicator%1").arg(QLatin1String(kIndicatorTexts[i])));
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->sizeHint().width() + 8);
        bar->addPermanentWidget(label);
        m_indicators[i] = label;
    }
    bar->showMessage(QLatin1String(kIdlePrompt));
    updateIndicators();
    qApp->installEventFilter(this);

    QAction* toggle = m_commands.value(ID_VIEW_STATUS_BAR);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QStatusBar::setVisible);
}

bool CMainFrame::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        // A prompt leaving the pane gives way to the idle prompt.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        statusBar()->showMessage(tip.isEmpty() ? QLatin1String(kIdlePrompt) : tip);
        return true;
    }
    if (event->type() == QEvent::WindowActivate)
        updateIndicators();
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            updateIndicators();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::updateIndicators()
{
    const KeyLockState state = KeyLockState::current();
    const bool on[] = {state.capsLock, state.numLock, state.scrollLock};
    for (int i = 0; i < 3; ++i) {
        if (m_indicators[i])
            m_indicators[i]->setEnabled(on[i]);
    }
}

CChildFrame* CMainFrame::activeYearWindow() const
{
    if (!m_mdiArea)
        return nullptr;
    auto* frame = qobject_cast<CChildFrame*>(m_mdiArea->currentSubWindow());
    return m_frames.contains(frame) ? frame : nullptr;
}

CTolvaView* CMainFrame::activeView() const
{
    CChildFrame* frame = activeYearWindow();
    return frame ? frame->view() : nullptr;
}

QPrinter& CMainFrame::printer()
{
    // Made on first use: setting up a printer asks the print system, which start-up need not wait for.
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

CChildFrame* CMainFrame::OnFileNew()
{
    return createYearWindow(new CTolvaDoc(this));
}

CChildFrame* CMainFrame::OnFileOpen(const QString& path)
{
    QString file = path;
    if (file.isEmpty())
        file = QFileDialog::getOpenFileName(this, QStringLiteral("Open"));
    if (file.isEmpty())
        return nullptr;
    // The document reads nothing from the file: a fresh year window opens, as after New.
    CChildFrame* frame = OnFileNew();
    if (frame)
        emit fileOpened(file);
    return frame;
}

CChildFrame* CMainFrame::createYearWindow(CTolvaDoc* document)
{
    auto* view = new CTolvaView(*m_registry, m_clock);
    auto* frame = new CChildFrame(document, view);
    m_mdiArea->addSubWindow(frame);
    m_frames.append(frame);
    connect(frame, &CChildFrame::closed, this, &CMainFrame::childClosed);
    connect(view, &CTolvaView::statusTextChanged, this, [this](const QString& text) {
        statusBar()->showMessage(text.isEmpty() ? QLatin1String(kIdlePrompt) : text);
    });
    connect(document, &CTolvaDoc::titleChanged, this, &CMainFrame::updateFrameTitle);
    try {
        view->OnInitialUpdate();
    } catch (const InvalidArgument&) {
        // A window whose year cannot be shown is not created.
        frame->close();
        return nullptr;
    }
    document->SetTitle(QString::number(view->shownYear()));
    renumberWindows(document);

    // New windows cascade from the top left and fill most of the area. Before the frame is first shown
    // its layout has not run yet: run it so that the area has its real size.
    if (!isVisible() && layout())
        layout()->activate();
    const QSize area = m_mdiArea->contentsRect().size();
    const int offset = 24 * int((m_frames.size() - 1) % 8);
    frame->setGeometry(offset, offset, std::max(area.width() * 9 / 10, 320),
                       std::max(area.height() * 9 / 10, 240));
    frame->show();
    m_mdiArea->setActiveSubWindow(frame);
    m_viewCommands->setActiveView(activeView());
    updateMenus();
    updateFrameTitle();
    return frame;
}

void CMainFrame::renumberWindows(CTolvaDoc* document)
{
    QList<CChildFrame*> windows;
    for (CChildFrame* f : std::as_const(m_frames)) {
        if (f->document() == document)
            windows.append(f);
    }
    for (qsizetype i = 0; i < windows.size(); ++i)
        windows.at(i)->setWindowNumber(windows.size() > 1 ? int(i + 1) : 0);
}

void CMainFrame::childClosed(CChildFrame* frame)
{
    m_frames.removeAll(frame);
    CTolvaDoc* document = frame->document();
    bool documentUsed = false;
    for (CChildFrame* f : std::as_const(m_frames))
        documentUsed = documentUsed || f->document() == document;
    if (document && !documentUsed)
        document->deleteLater();
    else if (document)
        renumberWindows(document);
    if (m_frames.isEmpty())
        statusBar()->showMessage(QLatin1String(kIdlePrompt));
    m_viewCommands->setActiveView(activeView());
    updateMenus();
    updateFrameTitle();
}

void CMainFrame::OnFileClose()
{
    CChildFrame* active = activeYearWindow();
    if (!active)
        return;
    CTolvaDoc* document = active->document();
    const QList<CChildFrame*> frames = m_frames;
    for (CChildFrame* f : frames) {
        if (f->document() == document)
            f->close();
    }
}

void CMainFrame::OnFilePrint()
{
    CTolvaView* view = activeView();
    if (!view)
        return;
    QPrinter& p = printer();
    p.setDocName(activeYearWindow()->document()->title());
    QPrintDialog dialog(&p, this);
    // One page per year: there are no pages to choose from.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!YearPrinter::print(*view, p))
        report(QStringLiteral("Could not print: the printer could not be started."));
}

void CMainFrame::OnFilePrintPreview()
{
    CTolvaView* view = activeView();
    if (!view)
        return;
    QPrintPreviewDialog dialog(&printer(), this);
    dialog.setWindowTitle(QStringLiteral("Print Preview"));
    QPointer<CTolvaView> target(view);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [target](QPrinter* p) {
        if (target)
            YearPrinter::print(*target, *p);
    });
    dialog.exec();
}

void CMainFrame::OnFilePrintSetup()
{
    QPageSetupDialog dialog(&printer(), this);
    dialog.exec();
}

void CMainFrame::OnAppExit()
{
    close();
}

CChildFrame* CMainFrame::OnWindowNew()
{
    CChildFrame* active = activeYearWindow();
    return active ? createYearWindow(active->document()) : nullptr;
}

void CMainFrame::OnWindowArrange()
{
    // Left to right along the bottom edge, a new row above when one is full.
    const QSize area = m_mdiArea->viewport()->size();
    int x = 0;
    int bottom = area.height();
    int rowHeight = 0;
    for (QMdiSubWindow* w : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!w->isMinimized())
            continue;
        const QSize size = w->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            bottom -= rowHeight;
            rowHeight = 0;
        }
        w->move(x, bottom - size.height());
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
}

QString CMainFrame::helpFilePath() const
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString name = exe.completeBaseName();
    const QString dir = exe.absolutePath();
    for (const QString& candidate : {QStringLiteral("%1/%2.html").arg(dir, name),
                                     QStringLiteral("%1/../share/doc/%2/%2.html").arg(dir, name),
                                     QStringLiteral("%1/../share/%2/%2.html").arg(dir, name)}) {
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

void CMainFrame::OnHelpFinder()
{
    const QString path = helpFilePath();
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        QMessageBox::information(this, kAppTitle,
                                 QStringLiteral("No help file is installed: there is no %1.html beside the "
                                                "program or in its share/doc/%1 folder.")
                                     .arg(name));
    }
}

void CMainFrame::OnContextHelp()
{
    statusBar()->showMessage(QLatin1String(kHelpModePrompt));
    QWhatsThis::enterWhatsThisMode();
}

void CMainFrame::OnAppAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void CMainFrame::updateMenus()
{
    const int wanted = m_frames.isEmpty() ? kMenuNoYear : kMenuYear;
    if (wanted != m_menuId) {
        m_menuId = wanted;
        menuBar()->clear();
        for (QMenu* menu : wanted == kMenuYear ? m_menus129 : m_menus128)
            menuBar()->addMenu(menu);
    }
    const bool haveView = activeView() != nullptr;
    m_commands.value(ID_FILE_CLOSE)->setEnabled(haveView);
    m_commands.value(ID_FILE_PRINT)->setEnabled(haveView);
    m_commands.value(ID_FILE_PRINT_PREVIEW)->setEnabled(haveView);
    m_commands.value(ID_WINDOW_NEW)->setEnabled(haveView);
    for (const int id : {ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE})
        m_commands.value(id)->setEnabled(!m_frames.isEmpty());
}

void CMainFrame::updateFrameTitle()
{
    CChildFrame* active = activeYearWindow();
    setWindowTitle(active && active->document()
                       ? QStringLiteral("%1 - %2").arg(kAppTitle, active->document()->title())
                       : kAppTitle);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    closeAllYearWindows(false);
    if (m_frames.isEmpty())
        event->accept();
    else
        event->ignore();
}

void CMainFrame::closeAllYearWindows(bool force)
{
    const QList<CChildFrame*> frames = m_frames;
    // Each frame's view saves its year as the frame closes.
    for (CChildFrame* f : frames)
        f->close();
    if (!force)
        return;
    // At teardown a frame that stayed open must still let go of its view before the defaults are written.
    for (CChildFrame* f : frames) {
        if (m_frames.removeAll(f) > 0)
            delete f;
    }
}

bool CMainFrame::saveEverything()
{
    // Before the defaults are loaded there is nothing to save.
    bool ok = !m_registry || m_registry->saveAll();
    if (m_registry) {
        if (const StoreResult r = saveDefaults(); !r.ok()) {
            report(r.message);
            ok = false;
        }
    }
    return ok;
}

StoreResult CMainFrame::saveDefaults() const
{
    // Nothing edits the defaults: a file that could not be read keeps its bytes and is not rewritten.
    if (m_defaultsLeftUnread) {
        StoreResult untouched;
        untouched.path = m_store.defaultsPath();
        return untouched;
    }
    return m_store.saveDefaults(m_registry->defaults());
}
