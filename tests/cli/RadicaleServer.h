#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

// A Radicale CalDAV server of its own for a test: on 127.0.0.1 at a free port, one user in a plain
// htpasswd file, its storage in a temporary folder; stopped when the object goes. Tests and the publish
// benchmark share it.
class RadicaleServer
{
public:
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "s3cret pass";

    ~RadicaleServer() { stop(); }

    // Serve https with this certificate and key (PEM files), set before start().
    void setTls(const QString& certificate, const QString& key)
    {
        m_certificate = certificate;
        m_key = key;
    }

    // False (with the reason in `error`) when the server did not come up within a few seconds.
    bool start(QString& error)
    {
        if (!m_dir.isValid()) {
            error = QStringLiteral("no temporary folder");
            return false;
        }
        m_port = freePort();
        const QString users = m_dir.filePath(QStringLiteral("users"));
        const QString config = m_dir.filePath(QStringLiteral("config"));
        const QString tls =
            m_certificate.isEmpty()
                ? QString()
                : QStringLiteral("ssl = True\ncertificate = %1\nkey = %2\n").arg(m_certificate, m_key);
        const bool written =
            writeFile(users, QByteArray(kUser) + ':' + kPassword + '\n') &&
            writeFile(config, (QStringLiteral("[server]\n") + tls +
                               QStringLiteral("hosts = 127.0.0.1:%1\n"
                                              "[auth]\ntype = htpasswd\nhtpasswd_filename = %2\ndelay = 0\n"
                                              "htpasswd_encryption = plain\n"
                                              "[storage]\nfilesystem_folder = %3\n"
                                              "[rights]\ntype = owner_only\n[web]\ntype = none\n"
                                              "[logging]\nlevel = warning\nmask_passwords = True\n")
                                   .arg(m_port)
                                   .arg(users, m_dir.filePath(QStringLiteral("storage"))))
                                  .toUtf8());
        if (!written) {
            error = QStringLiteral("cannot write the server's configuration");
            return false;
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("/usr/bin/radicale"), {QStringLiteral("--config"), config});
        if (!m_process.waitForStarted(5000)) {
            error = QStringLiteral("radicale did not start (is the Debian package radicale installed?): ") +
                    m_process.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
            if (probe.waitForConnected(200))
                return true;
            if (m_process.state() == QProcess::NotRunning)
                break;
            QThread::msleep(50);
        }
        error = QStringLiteral("radicale is not listening: ") + QString::fromUtf8(m_process.readAll());
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    quint16 port() const { return m_port; }
    // Runs python3-caldav through `script` (tests/cli/caldav_peer.py) against this server: its output,
    // or "failed: " and what it wrote to stderr.
    QString peer(const char* script, const QStringList& args) const
    {
        QProcess p;
        p.start(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QLatin1String(script), baseUrl(), QLatin1String(kUser), QLatin1String(kPassword)} +
                args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QStringLiteral("failed: ") + QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QString baseUrl() const
    {
        return QStringLiteral("%1://127.0.0.1:%2/%3/")
            .arg(m_certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
            .arg(m_port)
            .arg(kUser);
    }
    QString calendarUrl(const QString& name) const { return baseUrl() + name + QLatin1Char('/'); }

    // A port nothing listens on right now (the listener is closed again at once).
    static quint16 freePort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }

private:
    static bool writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
    }

    // Radicale syncs every write; in memory, where there is such a folder, that costs nothing.
    static QString tempTemplate()
    {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        return (shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath()) +
               QStringLiteral("/tolva-radicale-XXXXXX");
    }

    QTemporaryDir m_dir{tempTemplate()};
    QProcess m_process;
    quint16 m_port = 0;
    QString m_certificate;
    QString m_key;
};
