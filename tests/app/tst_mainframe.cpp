// The main frame as the user meets it: menu texts, mnemonics, shortcuts and separators of menus 128 and 129,
// prompts in the status bar and as tooltips, the toolbar's order and toggles, the accelerators, and the
// status bar's panes.

#include "AboutDialog.h"
#include "ChildFrame.h"
#include "FrameCommands.h"
#include "HelpWindow.h"
#include "ManualClock.h"
#include "Moments.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "ViewCommands.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>

#include <memory>

using TestSupport::moment;

namespace {

// "-" stands for a separator; a shortcut follows a tab, as in the menu resource.
QStringList menuEntries(const CMainFrame& frame, const QString& title)
{
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->text() != title || !a->menu())
            continue;
        QStringList entries;
        for (const QAction* e : a->menu()->actions()) {
            if (e->isSeparator())
                entries.append(QStringLiteral("-"));
            else if (e->shortcut().isEmpty())
                entries.append(e->text());
            else
                entries.append(e->text() + QLatin1Char('\t') + e->shortcut().toString());
        }
        return entries;
    }
    return {QStringLiteral("(no menu %1)").arg(title)};
}

} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void menuEntries_data();
    void menuEntries();
    void prompts_data();
    void prompts();
    void promptShowsOnHoverAndGivesWayToTheIdlePrompt();
    void toolbarOrderAndPressedToggles();
    void accelerators_data();
    void accelerators();
    void saveWritesNothing();
    void statusBarPanes();
    void yearWindowsLargerThanTheAreaScroll();
    void viewStatusTextGoesToTheMessagePane();
    void contextHelpEntersWhatsThisMode();
    void aboutBoxNamesVersionCopyrightLicenceAndHomePage_data();
    void aboutBoxNamesVersionCopyrightLicenceAndHomePage();
    void helpShowsTheManual_data();
    void helpShowsTheManual();
    void manualIsTheReadmeSection();
    void windowMenuListsTheYearWindows_data();
    void windowMenuListsTheYearWindows();

private:
    CMainFrame& frame() const { return *m_app->mainFrame(); }
    void showMenu(int id);

    QTemporaryDir m_dir;
    ManualClock m_clock{moment(2011, 3, 15, 9, 0, 0)};
    std::unique_ptr<CTolvaApp> m_app;
};

void TestMainFrame::initTestCase()
{
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    m_app = std::make_unique<CTolvaApp>(m_clock);
    m_app->setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    QCOMPARE(m_app->InitInstance({}, m_dir.path()), CTolvaApp::Outcome::Started);
    QVERIFY(QTest::qWaitForWindowExposed(&frame()));
}

void TestMainFrame::cleanupTestCase()
{
    m_app.reset();
}

void TestMainFrame::showMenu(int id)
{
    if (id == CMainFrame::kMenuYear && frame().yearWindows().isEmpty())
        frame().OnFileNew();
    if (id == CMainFrame::kMenuNoYear) {
        for (CChildFrame* f : frame().yearWindows())
            f->close();
    }
    QCOMPARE(frame().menuId(), id);
}

void TestMainFrame::menuEntries_data()
{
    QTest::addColumn<int>("menu");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("129 File") << 129 << "&File"
                              << QStringList{"&New\tCtrl+N",
                                             "&Close",
                                             "-",
                                             "&Print...\tCtrl+P",
                                             "Print Pre&view",
                                             "P&rint Setup...",
                                             "-",
                                             "Calendar &Account...",
                                             "Sync &Now",
                                             "-",
                                             "E&xit"};
    QTest::newRow("129 View") << 129 << "&View"
                              << QStringList{"&Toolbar",
                                             "&Status Bar",
                                             "-",
                                             "Year +",
                                             "Year -",
                                             "Today",
                                             "&Go to Date...\tCtrl+G",
                                             "-",
                                             "Show Day numbers",
                                             "Show Sundays",
                                             "Show Project lines",
                                             "Show Memo and Alarm",
                                             "Show Red days"};
    QTest::newRow("129 Edit") << 129 << "&Edit"
                              << QStringList{"Undo\tCtrl+Z", "Redo\tCtrl+Shift+Z", "-", "&Find...\tCtrl+F"};
    QTest::newRow("129 Window") << 129 << "&Window"
                                << QStringList{"&New Window", "&Cascade", "&Tile", "&Arrange Icons"};
    QTest::newRow("129 Help") << 129 << "&Help" << QStringList{"&Help Topics", "-", "&About Tolva..."};
    QTest::newRow("128 File") << 128 << "&File"
                              << QStringList{
                                     "&New\tCtrl+N", "-", "P&rint Setup...", "-",    "Calendar &Account...",
                                     "Sync &Now",    "-", "&Close",          "E&xit"};
    QTest::newRow("128 View") << 128 << "&View" << QStringList{"&Toolbar", "&Status Bar"};
    QTest::newRow("128 Help") << 128 << "&Help" << QStringList{"&Help Topics", "&About Tolva..."};
}

void TestMainFrame::menuEntries()
{
    QFETCH(int, menu);
    QFETCH(QString, title);
    QFETCH(QStringList, entries);
    showMenu(menu);
    QCOMPARE(::menuEntries(frame(), title), entries);
}

void TestMainFrame::prompts_data()
{
    QTest::addColumn<int>("command"); // a frame command id, or -1 - ViewCommands::Command
    QTest::addColumn<QString>("statusTip");
    QTest::addColumn<QString>("toolTip");

    using VC = ViewCommands::Command;
    auto view = [](VC c) { return -1 - int(c); };
    QTest::newRow("Year +") << view(VC::YearPlus) << "Show next Year"
                            << "Show next Year";
    QTest::newRow("Year -") << view(VC::YearMinus) << "Show previous Year"
                            << "Show previous Year";
    QTest::newRow("Today") << view(VC::Today) << "Go to today"
                           << "Go to today";
    QTest::newRow("Day numbers") << view(VC::ShowDayNumbers) << "Show Day numbers"
                                 << "Show Day numbers";
    QTest::newRow("Sundays") << view(VC::ShowSundays) << "Show Sundays"
                             << "Show Sundays";
    QTest::newRow("Project lines") << view(VC::ShowProjectLines) << "Show Project lines"
                                   << "Show Project lines";
    QTest::newRow("Memo and Alarm") << view(VC::ShowMemoAlarm) << "Show Memo and Alarm"
                                    << "Show Memo and Alarm";
    QTest::newRow("Red days") << view(VC::ShowRedDays) << "Show Red days"
                              << "Show Red days";
    QTest::newRow("New") << int(CMainFrame::ID_FILE_NEW) << "Create a new document"
                         << "New";
    QTest::newRow("Print") << int(CMainFrame::ID_FILE_PRINT) << "Print the active document"
                           << "Print";
    QTest::newRow("Exit") << int(CMainFrame::ID_APP_EXIT) << "Quit the application; prompts to save documents"
                          << "Exit";
    QTest::newRow("About") << int(CMainFrame::ID_APP_ABOUT)
                           << "Display program information, version number and copyright"
                           << "About";
}

// The part of the string-table entry before the line break is the status prompt, the rest the tooltip.
void TestMainFrame::prompts()
{
    QFETCH(int, command);
    QFETCH(QString, statusTip);
    QFETCH(QString, toolTip);
    const QAction* action = command >= 0 ? frame().command(command)
                                         : frame().viewCommands().action(ViewCommands::Command(-1 - command));
    QVERIFY(action);
    QCOMPARE(action->statusTip(), statusTip);
    QCOMPARE(action->toolTip(), toolTip);
}

// Hovering a toolbar button puts its prompt in the message pane; leaving it brings back the idle " ".
void TestMainFrame::promptShowsOnHoverAndGivesWayToTheIdlePrompt()
{
    showMenu(129);
    QAction* today = frame().viewCommands().action(ViewCommands::Command::Today);
    auto* button = qobject_cast<QToolButton*>(frame().findChild<QToolBar*>()->widgetForAction(today));
    QVERIFY(button);
    QCOMPARE(button->statusTip(), QStringLiteral("Go to today"));
    QStatusTipEvent enter(button->statusTip());
    QApplication::sendEvent(button, &enter);
    QCOMPARE(frame().statusBar()->currentMessage(), QStringLiteral("Go to today"));
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(button, &leave);
    QCOMPARE(frame().statusBar()->currentMessage(), QStringLiteral(" "));
}

// New, separator, Today, Year +, Year -, separator, the five toggles; a toggle that is on shows pressed.
void TestMainFrame::toolbarOrderAndPressedToggles()
{
    showMenu(129);
    const QToolBar* bar = frame().findChild<QToolBar*>();
    QVERIFY(bar);
    QStringList order;
    for (const QAction* a : bar->actions()) {
        order.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        if (!a->isSeparator())
            QVERIFY2(!a->icon().isNull() && !a->icon().pixmap(16, 16).isNull(), qPrintable(a->text()));
    }
    QCOMPARE(order,
             (QStringList{"&New", "-", "Today", "Year +", "Year -", "-", "Show Day numbers", "Show Sundays",
                          "Show Project lines", "Show Memo and Alarm", "Show Red days"}));

    QAction* sundays = frame().viewCommands().action(ViewCommands::Command::ShowSundays);
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(sundays));
    QVERIFY(button->isCheckable());
    QVERIFY(button->isChecked());
    sundays->trigger();
    QVERIFY(!button->isChecked());
    QVERIFY(!frame().activeView()->isToggleOn(CTolvaView::Toggle::Sundays));
    sundays->trigger();
    QVERIFY(button->isChecked());
}

void TestMainFrame::accelerators_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("New") << int(CMainFrame::ID_FILE_NEW) << QKeySequence(QStringLiteral("Ctrl+N"));
    QTest::newRow("Open") << int(CMainFrame::ID_FILE_OPEN) << QKeySequence(QStringLiteral("Ctrl+O"));
    QTest::newRow("Save") << int(CMainFrame::ID_FILE_SAVE) << QKeySequence(QStringLiteral("Ctrl+S"));
    QTest::newRow("Print") << int(CMainFrame::ID_FILE_PRINT) << QKeySequence(QStringLiteral("Ctrl+P"));
    QTest::newRow("Help") << int(CMainFrame::ID_HELP) << QKeySequence(QStringLiteral("F1"));
    QTest::newRow("Context help") << int(CMainFrame::ID_CONTEXT_HELP)
                                  << QKeySequence(QStringLiteral("Shift+F1"));
    QTest::newRow("Next pane") << int(CMainFrame::ID_NEXT_PANE) << QKeySequence(QStringLiteral("F6"));
    QTest::newRow("Previous pane") << int(CMainFrame::ID_PREV_PANE)
                                   << QKeySequence(QStringLiteral("Shift+F6"));
}

// Every accelerator is on an action the frame carries, so it works whichever menu is shown.
void TestMainFrame::accelerators()
{
    QFETCH(int, command);
    QFETCH(QKeySequence, keys);
    QAction* action = frame().command(command);
    QVERIFY(action);
    QCOMPARE(action->shortcut(), keys);
    bool reachable = frame().actions().contains(action);
    for (const QAction* m : frame().menuBar()->actions())
        reachable = reachable || (m->menu() && m->menu()->actions().contains(action));
    QVERIFY(reachable);
}

// Ctrl+S has nothing to store: years are written when a window leaves or closes them.
void TestMainFrame::saveWritesNothing()
{
    showMenu(129);
    const QString years = m_dir.filePath(QStringLiteral("YEARS"));
    const QStringList before = QDir(years).entryList(QDir::Files);
    frame().activateWindow();
    QTest::keyClick(frame().activeView(), Qt::Key_S, Qt::ControlModifier);
    frame().command(CMainFrame::ID_FILE_SAVE)->trigger();
    QCOMPARE(QDir(years).entryList(QDir::Files), before);
}

// The message pane, then "CAP", "NUM" and "SCRL".
// At 800x600 with scale 2 a year window does not fit; the rest of it must be reachable.
void TestMainFrame::yearWindowsLargerThanTheAreaScroll()
{
    CChildFrame* window = frame().OnFileNew();
    window->resize(frame().mdiArea()->viewport()->size() * 2);
    QTRY_VERIFY(frame().mdiArea()->verticalScrollBar()->isVisible());
    window->close();
}

void TestMainFrame::statusBarPanes()
{
    QStringList indicators;
    for (int i = 0; i < 3; ++i)
        indicators.append(frame().indicator(i)->text());
    QCOMPARE(indicators, (QStringList{"CAP", "NUM", "SCRL"}));
    const QList<QLabel*> labels =
        frame().statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    for (int i = 0; i < 3; ++i)
        QVERIFY(labels.contains(frame().indicator(i)));
    QVERIFY(frame().indicator(0)->x() < frame().indicator(1)->x());
    QVERIFY(frame().indicator(1)->x() < frame().indicator(2)->x());
}

void TestMainFrame::viewStatusTextGoesToTheMessagePane()
{
    showMenu(129);
    CTolvaView* view = frame().activeView();
    emit view->statusTextChanged(QStringLiteral("Tuesday, March 15, 2011"));
    QCOMPARE(frame().statusBar()->currentMessage(), QStringLiteral("Tuesday, March 15, 2011"));
    emit view->statusTextChanged(QString());
    QCOMPARE(frame().statusBar()->currentMessage(), QStringLiteral(" "));
}

void TestMainFrame::contextHelpEntersWhatsThisMode()
{
    frame().command(CMainFrame::ID_CONTEXT_HELP)->trigger();
    QVERIFY(QWhatsThis::inWhatsThisMode());
    QCOMPARE(frame().statusBar()->currentMessage(), QStringLiteral("Select an object on which to get Help"));
    QWhatsThis::leaveWhatsThisMode();
}

void TestMainFrame::aboutBoxNamesVersionCopyrightLicenceAndHomePage_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("expected");
    QTest::newRow("version from the build") << "name" << QStringLiteral("Version " TOLVA_VERSION);
    QTest::newRow("copyright") << "copyright" << QStringLiteral("Copyright ");
    QTest::newRow("licence") << "license" << QStringLiteral("GPL-3.0-or-later");
    QTest::newRow("home page") << "homePage" << QStringLiteral("https://");
}

// What a user asks of a program before trusting it: which version, whose, under what terms, and where from.
void TestMainFrame::aboutBoxNamesVersionCopyrightLicenceAndHomePage()
{
    QFETCH(QString, label);
    QFETCH(QString, expected);
    AboutDialog about(&frame());
    const auto* text = about.findChild<QLabel*>(label);
    QVERIFY(text);
    QVERIFY2(text->text().contains(expected), qPrintable(text->text()));
    if (label == QLatin1String("homePage"))
        QVERIFY(text->openExternalLinks());
}

void TestMainFrame::helpShowsTheManual_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("Help Topics") << int(CMainFrame::ID_HELP_FINDER);
    QTest::newRow("F1") << int(CMainFrame::ID_HELP);
}

// Help is the manual shipped with the program, not a note that some file is missing.
void TestMainFrame::helpShowsTheManual()
{
    QFETCH(int, command);
    if (HelpWindow* old = frame().helpWindow())
        old->close();
    if (command == CMainFrame::ID_HELP) {
        frame().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame()));
        QTest::keyClick(&frame(), Qt::Key_F1);
    } else {
        frame().command(command)->trigger();
    }
    HelpWindow* help = frame().helpWindow();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(!help->isModal());
    const QString text = help->browser()->toPlainText();
    for (const char* heading :
         {"The year window", "Moving around", "Editing a day", "Windows, printing and storage"})
        QVERIFY2(text.contains(QLatin1String(heading)), heading);
    // Asked again, the same window comes to the front instead of a second one.
    frame().command(CMainFrame::ID_HELP_FINDER)->trigger();
    QCOMPARE(frame().helpWindow(), help);
    QCOMPARE(frame().findChildren<HelpWindow*>().size(), 1);
    help->close();
}

// One text, three places: Help, the manual page's description and the README's use section.
void TestMainFrame::manualIsTheReadmeSection()
{
    QFile readme(QStringLiteral(TOLVA_SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString manual = HelpWindow::manual();
    QVERIFY(manual.size() > 500);
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype at = text.indexOf(QStringLiteral("## Using Tolva\n"));
    QVERIFY(at >= 0);
    const qsizetype next = text.indexOf(QStringLiteral("\n## "), at + 1);
    QVERIFY2(text.mid(at, next - at).contains(manual), "the README's use section is not docs/manual.md");
}

void TestMainFrame::windowMenuListsTheYearWindows_data()
{
    // New opens a year window on a document of its own, "window" another window on the active one; windows
    // showing the same year are numbered among themselves whichever document they belong to.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("one window") << QStringList{"new"} << QStringList{"-", "&1 2011 *"};
    QTest::newRow("three windows, two on one document")
        << QStringList{"new", "new", "window"} << QStringList{"-", "&1 2011:1", "&2 2011:2", "&3 2011:3 *"};
    QStringList ten(10, QStringLiteral("new"));
    QStringList nine{"-"};
    for (int i = 1; i <= 9; ++i)
        nine.append(QStringLiteral("&%1 2011:%1").arg(i));
    nine.append(QStringLiteral("&More Windows..."));
    QTest::newRow("more than nine") << ten << nine;
}

// The Window menu is how a user finds a year window hidden under the others.
void TestMainFrame::windowMenuListsTheYearWindows()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, listed);
    for (CChildFrame* f : frame().yearWindows())
        f->close();
    for (const QString& step : steps)
        QVERIFY(step == QLatin1String("new") ? frame().OnFileNew() : frame().OnWindowNew());

    QMenu* menu = frame().findChild<FrameCommands*>()->windowMenu();
    emit menu->aboutToShow();
    const QList<QAction*> actions = menu->actions();
    QStringList entries;
    for (qsizetype i = 4; i < actions.size(); ++i) {
        const QAction* a = actions.at(i);
        entries.append(a->isSeparator() ? QStringLiteral("-")
                                        : a->text() + (a->isChecked() ? QStringLiteral(" *") : QString()));
    }
    QCOMPARE(entries, listed);

    // Choosing the first entry brings that window to the front, also from a minimised state.
    CChildFrame* first = frame().yearWindows().first();
    first->showMinimized();
    actions.at(5)->trigger();
    QCOMPARE(frame().activeYearWindow(), first);
    QVERIFY(!first->isMinimized());
    emit menu->aboutToShow();
    QVERIFY(menu->actions().at(5)->isChecked());
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
