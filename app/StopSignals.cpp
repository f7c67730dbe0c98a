#include "StopSignals.h"

#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalSocket[2] = {-1, -1};
constexpr int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void onStopSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    // Async-signal-safe; a full socket drops the byte, and one byte is all a stop needs.
    [[maybe_unused]] const ssize_t n = ::write(g_signalSocket[0], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent)
{
    std::signal(SIGXFSZ, SIG_IGN);

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0)
        return;
    ::fcntl(g_signalSocket[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_signalSocket[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readSignal);

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kStopSignals)
        ::sigaction(s, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    for (const int s : kStopSignals)
        std::signal(s, SIG_DFL);
    delete m_notifier;
    ::close(g_signalSocket[0]);
    ::close(g_signalSocket[1]);
    g_signalSocket[0] = g_signalSocket[1] = -1;
}

QString StopSignals::signalName(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    case SIGINT:
        return QStringLiteral("SIGINT");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void StopSignals::readSignal()
{
    char byte = 0;
    if (::read(g_signalSocket[1], &byte, 1) == 1)
        emit stopRequested(int(static_cast<unsigned char>(byte)));
}
