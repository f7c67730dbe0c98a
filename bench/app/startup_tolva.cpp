// The planner started as `tolva` starts it, reporting its first painted year window (see bench_app).

#include "Clock.h"
#include "FirstPaintProbe.h"
#include "TolvaApp.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    std::signal(SIGXFSZ, SIG_IGN);
    CTolvaApp::setIdentity();
    QApplication app(argc, argv);
    FirstPaintProbe probe("CTolvaView");
    CTolvaApp tolva(Clock::system());
    tolva.handleStopRequests();
    if (tolva.InitInstance(QApplication::arguments().mid(1)) != CTolvaApp::Outcome::Started)
        return 1;
    const int rc = QApplication::exec();
    tolva.ExitInstance();
    return rc;
}
