#pragma once

#include <QByteArray>
#include <QString>

// Where a command's result goes with -o. A regular file, or a new one, is replaced atomically and durably
// (never left half-written); a character device, a FIFO or /dev/stdout is written to as it stands and
// never replaced by a regular file; "-" is standard output. Every write is checked through to close().
class OutputFile
{
public:
    static bool isStandardOutput(const QString& path) { return path == QLatin1String("-"); }

    // False with `error` set ("PATH: reason") when not every byte reached its place.
    static bool write(const QString& path, const QByteArray& bytes, QString& error);
    // Writes to standard output and flushes it.
    static bool writeStandardOutput(const QByteArray& bytes, QString& error);
};
