// Peak memory of one year load from a hostile file, for the figures kept with the storage work. Not a
// benchmark: make a file, then load it under /usr/bin/time -v and read "Maximum resident set size".
//   load_memory make names|memos|sparse <file> [megabytes]
//   load_memory load <file>
// names, memos: a sound year whose name or memo list claims 0xFFFFFFFF texts, followed by one zero byte per
// claimed empty text up to the size given (default 10 MB). sparse: the same as memos, its tail a hole.
#include "Calendar.h"
#include "DataStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

namespace {

long peakKilobytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray hostileHead(bool names)
{
    YearData y;
    y.reset();
    y.m_settings = DisplaySettings::builtInDefaults(Calendar::makeDate(2011, 6, 15));
    QByteArray bytes = YearFileCodec::encode(y);
    // Items 6..9 of an empty year: 00 00, then three lists of 370 empty texts (72 01 and 370 zeros).
    bytes.truncate(names ? bytes.size() - 3 * 372 - 2 : bytes.size() - 3 * 372);
    return bytes + QByteArray::fromHex("ffffffffffff");
}

int make(const char* kind, const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    const QByteArray head = hostileHead(std::strcmp(kind, "names") == 0);
    file.write(head);
    if (std::strcmp(kind, "sparse") == 0)
        return file.resize(size) ? 0 : 1;
    const QByteArray zeros(1 << 20, '\0');
    for (qint64 left = size - head.size(); left > 0; left -= zeros.size())
        file.write(zeros.constData(), qMin<qint64>(left, zeros.size()));
    return 0;
}

int load(const QString& path)
{
    // The file is loaded as year 2011 of a scratch working folder, so that its damaged copy lands there.
    QTemporaryDir dir;
    DataStore store;
    store.CaptureWorkDir(dir.path());
    if (!QFile::copy(path, store.yearPath(2011)) &&
        !QFile::link(QFileInfo(path).absoluteFilePath(), store.yearPath(2011)))
        return 1;
    const long before = peakKilobytes();
    YearData y;
    y.reset();
    y.m_settings.m_stSelected = Calendar::makeDate(2011, 1, 1);
    const StoreResult r = store.loadYear(y, DisplaySettings::builtInDefaults(Calendar::nowUtc()));
    std::printf("%lld bytes: peak %ld KiB before the load, %ld KiB after\n%s\n",
                static_cast<long long>(QFileInfo(path).size()), before, peakKilobytes(),
                qPrintable(r.message.isEmpty() ? QStringLiteral("loaded cleanly") : r.message));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 4 && std::strcmp(argv[1], "make") == 0) {
        const bool sparse = std::strcmp(argv[2], "sparse") == 0;
        const qint64 megabytes = argc > 4 ? std::atoll(argv[4]) : (sparse ? 64 : 10);
        return make(argv[2], QString::fromLocal8Bit(argv[3]), megabytes * 1000 * 1000);
    }
    if (argc == 3 && std::strcmp(argv[1], "load") == 0)
        return load(QString::fromLocal8Bit(argv[2]));
    std::fprintf(stderr, "usage: %s make names|memos|sparse <file> [megabytes] | load <file>\n", argv[0]);
    return 2;
}
