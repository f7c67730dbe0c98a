#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// A Secret Service of the test's own: a D-Bus session bus, and gnome-keyring-daemon on it with a login
// keyring in a temporary folder, unlocked by an empty password. start() points this process's
// DBUS_SESSION_BUS_ADDRESS at the bus, so it comes before anything in the process talks to D-Bus.
class KeyringSession
{
public:
    ~KeyringSession()
    {
        for (QProcess* p : {&m_keyring, &m_bus}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
        }
    }

    // False with the reason when either daemon does not start or no Secret Service comes up.
    bool start(QString& error)
    {
        m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(5000)) {
            error = QStringLiteral("dbus-daemon did not start (Debian package dbus): ") + m_bus.errorString();
            return false;
        }
        const QString address = QString::fromUtf8(m_bus.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString run = m_dir.filePath(QStringLiteral("run"));
        QDir().mkpath(run);
        QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
        m_keyring.setProcessEnvironment(env);
        m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                        {"--foreground", "--unlock", "--components=secrets"});
        // The login keyring's password, one line: an empty one.
        m_keyring.write("\n");
        m_keyring.waitForBytesWritten(5000);
        m_keyring.closeWriteChannel();
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("keyring-session"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && m_keyring.state() == QProcess::Running && bus.isConnected()) {
            if (bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")))
                return true;
            QThread::msleep(50);
        }
        error =
            QStringLiteral("gnome-keyring-daemon (Debian package gnome-keyring) gave no Secret Service: ") +
            m_keyring.errorString() + QLatin1Char(' ') + QString::fromUtf8(m_keyring.readAllStandardError());
        return false;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
};
