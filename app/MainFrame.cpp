#include "MainFrame.h"

#include "AboutDialog.h"
#include "AlarmWatch.h"
#include "ChildFrame.h"
#include "DesktopNotifier.h"
#include "DurableFile.h"
#include "FindDialog.h"
#include "FontSizeCache.h"
#include "GoToDateDialog.h"
#include "HelpWindow.h"
#include "Icons.h"
#include "InvalidArgument.h"
#include "KeyLockState.h"
#include "PrintSettings.h"
#include "SyncLoader.h"
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
#include <QMap>
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
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWhatsThis>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

const char* const kIndicatorTexts[] = {"CAP", "NUM", "SCRL"};

const QString kAppTitle = QStringLiteral("Tolva");

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
    if (m_syncPreload)
        m_syncPreload->wait();
    closeAllYearWindows(true);
    m_alarmWatch.reset();
    if (m_registry) {
        emit aboutToSaveDefaults();
        writeDefaults();
        // Saves whatever a view still held (none should be left).
        m_registry.reset();
    }
    if (g_pYearPainter == &m_painter)
        g_pYearPainter = m_previousPainter;
}

bool CMainFrame::LoadFrame()
{
    setWindowTitle(kAppTitle);
    setWindowIcon(Icons::named("tolva"));
    setObjectName(QStringLiteral("CMainFrame"));

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    // A year window larger than the area (a small screen at a large scale) can be scrolled to.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
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
    m_commands = new FrameCommands(this, m_viewCommands);
    connectCommands();
    m_commands->setWindowList([this] {
        QList<FrameCommands::WindowEntry> entries;
        CChildFrame* active = activeYearWindow();
        for (QMdiSubWindow* w : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
            auto* frame = qobject_cast<CChildFrame*>(w);
            if (!m_frames.contains(frame))
                continue;
            QPointer<CChildFrame> target(frame);
            entries.append({frame->windowTitle(), frame == active, [this, target] {
                                if (!target)
                                    return;
                                if (target->isMinimized())
                                    target->showNormal();
                                m_mdiArea->setActiveSubWindow(target);
                            }});
        }
        return entries;
    });
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
    // Enabled by the sync once it has loaded and found an account.
    m_commands->action(ID_FILE_SYNC_NOW)->setEnabled(false);
    m_alarmWatch = std::make_unique<AlarmWatch>(*m_registry, m_clock);
    m_alarmWatch->setShownByWindow([this](int year) {
        return std::any_of(m_frames.cbegin(), m_frames.cend(), [year](const CChildFrame* f) {
            return f->view() && f->view()->shownYear() == year;
        });
    });
    connect(m_alarmWatch.get(), &AlarmWatch::alarmDue, this, &CMainFrame::showAlarm);

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

void CMainFrame::connectCommands()
{
    auto cmd = [this](int id) { return m_commands->action(id); };
    connect(cmd(ID_FILE_NEW), &QAction::triggered, this, &CMainFrame::OnFileNew);
    connect(cmd(ID_FILE_OPEN), &QAction::triggered, this, [this] { OnFileOpen(); });
    connect(cmd(ID_FILE_CLOSE), &QAction::triggered, this, &CMainFrame::OnFileClose);
    // Save has nothing to do: years are stored when a window leaves them or closes.
    connect(cmd(ID_FILE_PRINT), &QAction::triggered, this, &CMainFrame::OnFilePrint);
    connect(cmd(ID_FILE_PRINT_PREVIEW), &QAction::triggered, this, &CMainFrame::OnFilePrintPreview);
    connect(cmd(ID_FILE_PRINT_SETUP), &QAction::triggered, this, &CMainFrame::OnFilePrintSetup);
    connect(cmd(ID_FILE_ACCOUNT), &QAction::triggered, this, &CMainFrame::OnFileAccount);
    connect(cmd(ID_APP_EXIT), &QAction::triggered, this, &CMainFrame::OnAppExit);
    connect(cmd(ID_EDIT_FIND), &QAction::triggered, this, &CMainFrame::OnEditFind);
    connect(cmd(ID_VIEW_GOTO_DATE), &QAction::triggered, this, &CMainFrame::OnViewGotoDate);
    connect(cmd(ID_WINDOW_NEW), &QAction::triggered, this, &CMainFrame::OnWindowNew);
    connect(cmd(ID_WINDOW_CASCADE), &QAction::triggered, m_mdiArea, &QMdiArea::cascadeSubWindows);
    connect(cmd(ID_WINDOW_TILE_HORZ), &QAction::triggered, m_mdiArea, &QMdiArea::tileSubWindows);
    connect(cmd(ID_WINDOW_ARRANGE), &QAction::triggered, this, &CMainFrame::OnWindowArrange);
    connect(cmd(ID_HELP_FINDER), &QAction::triggered, this, &CMainFrame::OnHelpFinder);
    connect(cmd(ID_HELP), &QAction::triggered, this, &CMainFrame::OnHelpFinder);
    connect(cmd(ID_CONTEXT_HELP), &QAction::triggered, this, &CMainFrame::OnContextHelp);
    connect(cmd(ID_APP_ABOUT), &QAction::triggered, this, &CMainFrame::OnAppAbout);
    // Next and previous pane: a year window has no panes.
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

    QAction* toggle = m_commands->action(ID_VIEW_STATUS_BAR);
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
    if (event->type() == QEvent::Paint && !m_afterFirstPaintQueued) {
        m_afterFirstPaintQueued = true;
        QTimer::singleShot(kAfterFirstPaintMs, this, &CMainFrame::afterFirstPaint);
    }
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
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        PrintSettings::apply(*m_printer);
    }
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

CChildFrame* CMainFrame::createYearWindow(CTolvaDoc* document, int year)
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
    connect(view, &CTolvaView::alarmShown, this,
            [](const QString& message) { DesktopNotifier::notifyAlarm(message); });
    connect(view, &CTolvaView::titleChanged, this, [this] {
        renumberWindows();
        updateFrameTitle();
    });
    try {
        if (year > 0) {
            view->ShowYear(year);
            view->update();
        } else {
            view->OnInitialUpdate();
        }
    } catch (const InvalidArgument&) {
        // A window whose year cannot be shown is not created.
        frame->close();
        return nullptr;
    }
    document->SetTitle(QString::number(view->shownYear()));
    renumberWindows();

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

// Windows are numbered among those showing the same year, in the order they were opened.
void CMainFrame::renumberWindows()
{
    QMap<QString, QList<CChildFrame*>> byYear;
    for (CChildFrame* f : std::as_const(m_frames))
        byYear[f->yearTitle()].append(f);
    for (const QList<CChildFrame*>& windows : std::as_const(byYear))
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
    renumberWindows();
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
    p.setDocName(activeYearWindow()->yearTitle());
    QPrintDialog dialog(&p, this);
    // One page per year: there are no pages to choose from.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    PrintSettings::apply(p);
    if (dialog.exec() != QDialog::Accepted)
        return;
    PrintSettings::remember(p);
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
    // The preview's own buttons turn the page.
    PrintSettings::remember(printer());
}

void CMainFrame::OnFilePrintSetup()
{
    QPageSetupDialog dialog(&printer(), this);
    if (dialog.exec() == QDialog::Accepted)
        PrintSettings::remember(printer());
}

void CMainFrame::OnAppExit()
{
    close();
}

void CMainFrame::OnEditFind()
{
    if (!m_findDialog) {
        m_findDialog = new FindDialog(m_store.yearsDir(), this);
        connect(m_findDialog, &FindDialog::dayChosen, this, &CMainFrame::showDay);
    }
    m_findDialog->start();
}

FindDialog* CMainFrame::findDialog() const
{
    return m_findDialog;
}

void CMainFrame::OnViewGotoDate()
{
    CTolvaView* view = activeView();
    if (!view)
        return;
    const SYSTEMTIME& s = view->selectedDay();
    const std::optional<QDate> date = GoToDateDialog::ask(QDate(s.wYear, s.wMonth, s.wDay), this);
    if (date && activeView() == view)
        view->showDate(date->year(), date->month(), date->day());
}

void CMainFrame::showDay(int year, int month, int day)
{
    if (!activeView())
        OnFileNew();
    CChildFrame* frame = activeYearWindow();
    if (!frame || !frame->view())
        return;
    frame->view()->showDate(year, month, day);
    if (frame->isMinimized())
        frame->showNormal();
    m_mdiArea->setActiveSubWindow(frame);
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

void CMainFrame::OnHelpFinder()
{
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow(this);
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void CMainFrame::OnContextHelp()
{
    statusBar()->showMessage(QLatin1String(kHelpModePrompt));
    QWhatsThis::enterWhatsThisMode();
}

void CMainFrame::afterFirstPaint()
{
    // Fonts sized from what the last run found: checked now, made again in the rare case they changed.
    if (FontSizeCache::instance().verify()) {
        for (CChildFrame* frame : std::as_const(m_frames)) {
            if (frame->view())
                frame->view()->remakePaintResources();
        }
    }
    // Beside the event loop: mapping and relocating the module takes several milliseconds.
    m_syncPreload.reset(QThread::create(&SyncLoader::preload));
    connect(m_syncPreload.get(), &QThread::finished, this, [this] { sync(); });
    m_syncPreload->start();
}

SyncService* CMainFrame::sync()
{
    if (m_syncTried || !m_registry)
        return m_sync;
    m_syncTried = true;
    if (m_syncPreload)
        m_syncPreload->wait();
    QString error;
    m_sync = SyncLoader::create(
        {this, m_registry.get(), m_store.yearsDir(), m_commands->action(ID_FILE_SYNC_NOW)}, error);
    if (!m_sync)
        std::fprintf(stderr, "tolva: %s\n", qPrintable(error));
    m_syncError = error;
    return m_sync;
}

void CMainFrame::OnFileAccount()
{
    if (SyncService* service = sync())
        service->editAccount();
    else
        QMessageBox::warning(this, kAppTitle, m_syncError);
}

void CMainFrame::OnAppAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void CMainFrame::updateMenus()
{
    m_commands->update(menuBar(), !m_frames.isEmpty(), activeView() != nullptr);
}

void CMainFrame::updateFrameTitle()
{
    CChildFrame* active = activeYearWindow();
    setWindowTitle(active ? QStringLiteral("%1 - %2").arg(kAppTitle, active->yearTitle()) : kAppTitle);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // What changed goes to the calendar first, while every year is still open.
    if (SyncService* service = sync())
        service->atExit();
    // Taken before the windows go; kept only when all of them agreed to close.
    const WindowSession session = captureSession();
    closeAllYearWindows(false);
    if (m_frames.isEmpty()) {
        session.save();
        event->accept();
    } else {
        event->ignore();
    }
}

WindowSession CMainFrame::captureSession() const
{
    WindowSession s;
    s.frameMaximized = isMaximized();
    s.frameGeometry = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    s.toolBarState = saveState();
    QList<const CTolvaDoc*> documents;
    const CChildFrame* active = activeYearWindow();
    for (QMdiSubWindow* w : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        auto* frame = qobject_cast<CChildFrame*>(w);
        if (!m_frames.contains(frame) || !frame->view())
            continue;
        if (!documents.contains(frame->document()))
            documents.append(frame->document());
        if (frame == active)
            s.active = int(s.windows.size());
        s.windows.append({frame->view()->shownYear(), int(documents.indexOf(frame->document())),
                          frame->geometry(), frame->isMinimized(), frame->isMaximized()});
    }
    return s;
}

void CMainFrame::placeFrame(const QRect& geometry, bool maximized)
{
    QList<QRect> screens;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screens.append(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            screens.append(screen->availableGeometry());
    }
    setGeometry(WindowSession::ontoScreen(geometry, screens));
    if (maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

bool CMainFrame::restoreSession(const WindowSession& session)
{
    if (session.frameGeometry.isValid())
        placeFrame(session.frameGeometry, session.frameMaximized);
    if (!session.toolBarState.isEmpty())
        restoreState(session.toolBarState);
    QHash<int, QPointer<CTolvaDoc>> documents;
    QList<CChildFrame*> opened;
    for (const WindowSession::YearWindow& w : session.windows) {
        CTolvaDoc* document = documents.value(w.document);
        if (!document) {
            document = new CTolvaDoc(this);
            documents.insert(w.document, document);
        }
        CChildFrame* frame = createYearWindow(document, w.year);
        opened.append(frame);
        if (!frame)
            continue;
        if (w.geometry.isValid())
            frame->setGeometry(w.geometry);
        if (w.maximized)
            frame->showMaximized();
        else if (w.minimized)
            frame->showMinimized();
    }
    // A document whose windows all failed has nobody to delete it.
    for (const QPointer<CTolvaDoc>& d : std::as_const(documents)) {
        const bool used = std::any_of(m_frames.cbegin(), m_frames.cend(),
                                      [&](const CChildFrame* f) { return f->document() == d; });
        if (d && !used)
            d->deleteLater();
    }
    if (session.active >= 0 && session.active < opened.size() && opened.at(session.active))
        m_mdiArea->setActiveSubWindow(opened.at(session.active));
    return std::any_of(opened.cbegin(), opened.cend(), [](const CChildFrame* f) { return f != nullptr; });
}

void CMainFrame::showAlarm(const QString& message)
{
    // Not exec(): the check goes on each second while the box is open.
    auto* box =
        new QMessageBox(QMessageBox::Information, tr("Alarm Message"), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
    DesktopNotifier::notifyAlarm(message);
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
    // What is typed in an open Day dialog is stored first, as its OK would.
    for (CChildFrame* frame : std::as_const(m_frames))
        if (CTolvaView* view = frame->view())
            view->finishDayDialog();
    captureSession().save();
    // Before the defaults are loaded there is nothing to save.
    bool ok = !m_registry || m_registry->saveAll();
    if (m_registry)
        ok = writeDefaults() && ok;
    return ok;
}

StoreResult CMainFrame::saveDefaults() const
{
    StoreResult untouched;
    untouched.path = m_store.defaultsPath();
    // Nothing edits the defaults: a file that could not be read keeps its bytes and is not rewritten.
    if (m_defaultsLeftUnread)
        return untouched;
    // Nor is one that holds them already: a session without an edit writes nothing.
    QByteArray onDisk;
    QString reason;
    if (DurableFile::read(untouched.path, DataStore::kMaxFileSize, onDisk, reason) ==
            DurableFile::Read::Done &&
        onDisk == DefaultsFileCodec::encode(m_registry->defaults()))
        return untouched;
    return m_store.saveDefaults(m_registry->defaults());
}

bool CMainFrame::writeDefaults()
{
    const StoreResult r = saveDefaults();
    // A stop saves, and the frame's end saves again: the same failure is told once.
    if (!r.ok() && r.message != m_defaultsTold)
        report(r.message);
    m_defaultsTold = r.ok() ? QString() : r.message;
    return r.ok();
}
