#include "DataStore.h"
#include "YearPainter.h"
#include "YearWindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "Tolva is a desktop program and there is no display here.\n"
                     "Run it on a virtual display: xvfb-run -s '-screen 0 1600x1000x24' %s\n",
                     argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolva"));

    CYearPainter painter;
    g_pYearPainter = &painter;

    DataStore store;
    if (const StoreResult r = store.CaptureWorkDir(); !r.ok())
        QMessageBox::warning(nullptr, QStringLiteral("Tolva"), r.message);
    DisplaySettings defaults{};
    if (const StoreResult r = store.LoadSaveDefaults(true, defaults); !r.ok())
        QMessageBox::warning(nullptr, QStringLiteral("Tolva"), r.message);

    QMainWindow frame;
    auto* year = new YearWindow(store, defaults, &frame);
    frame.setCentralWidget(year);
    QObject::connect(year, &YearWindow::statusText, frame.statusBar(),
                     [&frame](const QString& text) { frame.statusBar()->showMessage(text); });
    frame.setWindowTitle(QStringLiteral("Tolva"));
    frame.resize(1200, 800);
    frame.show();
    const int rc = app.exec();

    if (const StoreResult r = store.LoadSaveDefaults(false, defaults); !r.ok())
        std::fprintf(stderr, "%s\n", qPrintable(r.message));
    return rc;
}
