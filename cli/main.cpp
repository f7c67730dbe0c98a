#include "CliRunner.h"
#include "FolderName.h"

#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    for (int i = 0; i < argc; ++i) {
        QString argument;
        // A name that is not UTF-8 would come out as another name: refused rather than used.
        if (!FolderName::decode(QByteArray(argv[i]), argument)) {
            std::fprintf(stderr,
                         "tolva-cli: the argument \"%s\" is not valid UTF-8; names of files and "
                         "folders must be\n",
                         qPrintable(argument));
            return CliRunner::kFailed;
        }
        arguments << argument;
    }
    std::unique_ptr<QCoreApplication> app;
    if (CliRunner::needsFonts(arguments))
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    int status = 0;
    int writeError = 0; // what the stream's last write met, if anything
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        status = CliRunner(out, err).run(QCoreApplication::arguments());
        errno = 0;
        out.flush();
        writeError = errno;
    }
    // What the command printed counts only once it is out: a full disk or a closed pipe is a failure.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    int error = errno ? errno : writeError;
    const bool closed = std::fclose(stdout) == 0;
    if (!closed && error == 0)
        error = errno;
    if (!flushed || !closed) {
        std::fprintf(stderr, "tolva-cli: standard output: %s\n",
                     error ? std::strerror(error) : "it could not be written");
        return CliRunner::kFailed;
    }
    return status;
}
