#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

class CalDavSession;
class YearRegistry;

// The planner's own sync of its years with the calendar account, on Qt's event loop: the requests go out
// while the window paints and takes input. File > Sync Now syncs every year the folder has files for that
// was synced before, edited since the account was set, or is open in a window; with automatic sync also at
// start, a few seconds after each save, every 15 minutes and at exit. A conflict is never settled by itself:
// both sides are kept until the user chooses (ConflictsDialog), and a run that would remove most of one side
// asks first.
class PlannerSync : public QObject
{
    Q_OBJECT

public:
    struct Account
    {
        QUrl url; // the calendar collection
        QString user;
        QString caFile;
        bool autoSync = false;
        QDateTime since; // when it was set: years edited after it are synced
    };
    enum class State { Off, Idle, Syncing, Pending, Failed };

    static constexpr int kAutoIntervalMs = 15 * 60 * 1000;
    static constexpr int kAfterSaveMs = 4000;
    static constexpr int kExitBudgetMs = 5000;

    PlannerSync(YearRegistry& registry, const QString& yearsDir, QObject* parent = nullptr);

    void setAccount(const Account& account);
    const Account& account() const { return m_account; }
    // The password for the account's user, where the environment and ~/.netrc give none.
    void setPassword(const QString& password) { m_password = password; }
    // Asked when a run would remove most of one side; true goes on. Without it such a run stops.
    void setMassDeletionQuestion(std::function<bool(const QString&)> ask) { m_ask = std::move(ask); }

    State state() const { return m_state; }
    // The status bar's text: "Synced 12:04", "Syncing 120 of 466…", "3 changes not yet on the server",
    // "Sync failed: <reason>", "2 conflicts".
    QString statusText() const;
    // What the last run said, line by line.
    const QStringList& details() const { return m_details; }
    int conflicts() const { return m_conflicts; }
    // The years a Sync Now takes.
    QList<int> yearsToSync() const;

public slots:
    void syncNow();
    // A year was saved: with automatic sync, it goes out a few seconds later.
    void yearSaved();
    // The last sync before the program ends, within kExitBudgetMs; what does not go out goes at the next
    // start.
    void syncAtExit();

signals:
    void statusChanged();

private:
    class Sink;
    bool openSession(CalDavSession& session, int timeoutMs);
    void runYear(CalDavSession& session, int year, bool allowMassDeletion);
    void setState(State state, const QString& reason = QString());

    YearRegistry& m_registry;
    QString m_yearsDir;
    Account m_account;
    QString m_password;
    std::function<bool(const QString&)> m_ask;
    QTimer m_periodic;
    QTimer m_afterSave;
    State m_state = State::Off;
    QString m_reason;
    QTime m_lastSync;
    qsizetype m_done = 0, m_total = 0;
    int m_pending = 0;
    int m_conflicts = 0;
    QStringList m_details;
    bool m_running = false;
    bool m_again = false;
};
