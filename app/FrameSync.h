#pragma once

#include "PlannerSync.h"

#include <QObject>
#include <QString>

class PasswordStore;
class QAction;
class QMainWindow;
class SyncStatusField;

// The main frame's side of the planner's sync: the account as the account dialog left it, the password
// (the environment, ~/.netrc, the keyring, or asked once per session), File > Sync Now, the status field,
// the conflicts dialog, and the question before a mass deletion.
class FrameSync : public QObject
{
    Q_OBJECT

public:
    FrameSync(QMainWindow* frame, YearRegistry& registry, const QString& yearsDir, PasswordStore& passwords,
              QAction* syncNow);

    // Reads the account file again (at start and after the account dialog).
    void loadAccount();
    // With automatic sync: the first run, soon after the window shows.
    void atStart();
    // With automatic sync: what changed goes out before the program ends (within 5 s).
    void atExit();
    SyncStatusField* statusField() const { return m_field; }

public slots:
    void syncNow();
    // The field's details: the conflicts to settle, or the last run's report.
    void showDetails();

private:
    bool havePassword();
    void updateField();

    QMainWindow* m_frame;
    PasswordStore& m_passwords;
    QAction* m_syncNow;
    PlannerSync m_sync;
    SyncStatusField* m_field;
    QString m_yearsDir;
    QString m_password;
    bool m_keyringAsked = false;
};
