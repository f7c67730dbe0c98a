#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>

// The account's password in the desktop's keyring (the Secret Service, through QtKeychain), never in a
// file. Every call answers once, also when no keyring does: after kTimeoutMs at the latest.
class PasswordStore : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kService = "Tolva";
    // A keyring that has not answered by then is taken for none.
    static constexpr int kTimeoutMs = 5000;

    enum class Outcome {
        Done,       // read: found; write, remove: done
        NotFound,   // the keyring answers but holds no such password
        Unavailable // no keyring answers, or it refused (locked, denied): `error` says which
    };
    struct Result
    {
        Outcome outcome = Outcome::Unavailable;
        QString password;
        QString error;
    };

    explicit PasswordStore(QObject* parent = nullptr);

    // "caldav:" + user + "@" + host of the URL.
    static QString keyFor(const QUrl& url, const QString& user);

    // Each answers with the signal of the same name, once, for `key`.
    void read(const QString& key);
    void write(const QString& key, const QString& password);
    void remove(const QString& key);

    // read() for a program without a running event loop: waits in a local one.
    static Result readNow(const QString& key, int timeoutMs = kTimeoutMs);

    // Where no keyring answers the planner keeps a password for the run, in memory only.
    void keepForSession(const QString& key, const QString& password) { m_session.insert(key, password); }
    QString sessionPassword(const QString& key) const { return m_session.value(key); }

signals:
    void readFinished(const QString& key, const PasswordStore::Result& result);
    void writeFinished(const QString& key, const PasswordStore::Result& result);
    void removeFinished(const QString& key, const PasswordStore::Result& result);

private:
    enum class Job { Read, Write, Remove };
    void start(Job job, const QString& key, const QString& password, int timeoutMs = kTimeoutMs);

    QHash<QString, QString> m_session;
};
