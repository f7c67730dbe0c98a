#include "OutputFile.h"

#include "DurableFile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The descriptor a name of this process's own open files stands for (/dev/stdout, /dev/fd/3,
// /proc/self/fd/3), or -1. Written through the descriptor, such a target keeps its offset and its append
// mode, as a shell's redirection expects.
int ownDescriptor(const QString& path)
{
    if (path == QLatin1String("/dev/stdout"))
        return STDOUT_FILENO;
    if (path == QLatin1String("/dev/stderr"))
        return STDERR_FILENO;
    for (const QLatin1String prefix : {QLatin1String("/dev/fd/"), QLatin1String("/proc/self/fd/")}) {
        if (!path.startsWith(prefix))
            continue;
        bool ok = false;
        const int fd = path.mid(prefix.size()).toInt(&ok);
        return ok && fd >= 0 ? fd : -1;
    }
    return -1;
}

} // namespace

bool OutputFile::writeStandardOutput(const QByteArray& bytes, QString& error)
{
    if ((!bytes.isEmpty() &&
         std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size())) ||
        std::fflush(stdout) != 0) {
        error = QStringLiteral("standard output: %1").arg(DurableFile::errnoText(errno));
        return false;
    }
    return true;
}

bool OutputFile::write(const QString& path, const QByteArray& bytes, QString& error)
{
    if (isStandardOutput(path))
        return writeStandardOutput(bytes, error);
    if (const int fd = ownDescriptor(path); fd >= 0) {
        std::fflush(stdout);
        QString reason;
        if (DurableFile::writeAll(fd, bytes, reason))
            return true;
        error = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(name.constData(), &st) != 0 || S_ISREG(st.st_mode)) {
        const auto result = DurableFile::write(path, bytes);
        if (!result.ok())
            error = QStringLiteral("%1: %2").arg(path, result.reason);
        return result.ok();
    }
    if (S_ISDIR(st.st_mode)) {
        error = QStringLiteral("%1: it is a folder").arg(path);
        return false;
    }
    // A device, a FIFO, a terminal: what it stands for stays; it gets the bytes.
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    QString reason;
    bool ok = fd >= 0;
    if (!ok)
        reason = DurableFile::errnoText(errno);
    ok = ok && DurableFile::writeAll(fd, bytes, reason);
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        reason = DurableFile::errnoText(errno);
        ok = false;
    }
    if (!ok)
        error = QStringLiteral("%1: %2").arg(path, reason);
    return ok;
}
