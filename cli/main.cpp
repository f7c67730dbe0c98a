#include "CliRunner.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

// Qt's own chatter (a missing XDG_RUNTIME_DIR, font fallbacks) is no business of a command's user, whose
// errors are the command's one line.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "tolva-cli: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv)
{
    // Rendering needs fonts, never a screen: the same offscreen platform everywhere, so pictures do not
    // depend on the desktop the command runs in.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQt);
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CliRunner(out, err).run(QCoreApplication::arguments());
}
