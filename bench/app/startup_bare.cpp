// The baseline of bench_app: a bare QMainWindow with a menu bar, a toolbar, a status bar and one widget,
// reporting its first paint exactly as the planner does.

#include "FirstPaintProbe.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include <csignal>
#include <cstdlib>

namespace {

class Canvas : public QWidget
{
    Q_OBJECT

protected:
    void paintEvent(QPaintEvent*) override {}
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    FirstPaintProbe probe("Canvas");
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("E&xit"));
    window.addToolBar(QStringLiteral("Toolbar"))->addAction(QStringLiteral("New"));
    window.statusBar()->showMessage(QStringLiteral(" "));
    window.setCentralWidget(new Canvas);
    window.resize(QGuiApplication::primaryScreen()->availableGeometry().size() * 0.85);
    window.show();
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    return QApplication::exec();
}

#include "startup_bare.moc"
