#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <cstdio>

// Watches for the first paint of a widget of the given class. When that paint has been handled, prints
// "painted <resident kB>" on standard output for the benchmark that started this process, which then stops
// it. Measured the same way in the planner and in the bare baseline program.
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
                std::printf("painted %lld\n", residentKilobytes());
                std::fflush(stdout);
            });
        }
        return false;
    }

private:
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
