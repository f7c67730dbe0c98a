#include "CliRunner.h"

#include <QGuiApplication>

#include <cstdio>
#include <memory>

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
    // depend on the desktop the command runs in. Commands that paint nothing skip the GUI start-up, which
    // is most of their run time.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQt);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    std::unique_ptr<QCoreApplication> app;
    if (CliRunner::needsFonts(arguments))
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CliRunner(out, err).run(QCoreApplication::arguments());
}
