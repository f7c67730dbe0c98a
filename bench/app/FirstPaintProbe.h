#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

// Watches for the first paint of a widget of the given class. When that paint has been handled, prints
// "painted <resident kB> <CPU ns>" on standard output for the benchmark that started this process, which
// then stops it. The CPU time is what all the process's threads ran since exec, the dynamic loader
// included: unlike the time to the line it does not count waiting for a busy machine. Measured the same
// way in the planner and in the bare baseline program.
class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(const char* className) : m_className(className)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_done && event->type() == QEvent::Paint && watched->inherits(m_className)) {
            m_done = true;
            // Queued: runs once this paint is through.
            QTimer::singleShot(0, [] {
                std::printf("painted %lld %lld\n", residentKilobytes(), cpuNanoseconds());
                std::fflush(stdout);
                // For a profiler's run (callgrind): what comes after the first paint is not counted.
                if (qEnvironmentVariableIsSet("TOLVA_PROBE_EXIT"))
                    std::_Exit(0);
            });
        }
        return false;
    }

private:
    // The first field of each thread's schedstat: nanoseconds on a CPU.
    static long long cpuNanoseconds()
    {
        long long sum = 0;
        const QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
            if (stat.open(QIODevice::ReadOnly))
                sum += stat.readAll().split(' ').value(0).toLongLong();
        }
        return sum;
    }

    static long long residentKilobytes()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }

    const char* m_className;
    bool m_done = false;
};
