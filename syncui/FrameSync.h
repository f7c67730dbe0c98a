#pragma once

#include "PlannerSync.h"
#include "SyncService.h"

#include <QObject>
#include <QString>

class PasswordStore;
class QAction;
class QMainWindow;
class SyncStatusField;

// The main frame's side of the planner's sync: the account dialog and the account it leaves, the password
// (the environment, ~/.netrc, the keyring, or asked once per session), File > Sync Now, the status field in
// the frame's status bar, the conflicts dialog, and the question before a mass deletion.
class FrameSync : public QObject, public SyncService
{
    Q_OBJECT

public:
    FrameSync(QMainWindow* frame, YearRegistry& registry, const QString& yearsDir, QAction* syncNow);

    // Reads the account file again (at start and after the account dialog).
    void loadAccount();
    // With automatic sync: the first run, soon after the window shows.
    void atStart();
    void atExit() override;
    void editAccount() override;
    SyncStatusField* statusField() const { return m_field; }

public slots:
    void syncNow();
    // The field's details: the conflicts to settle, or the last run's report.
    void showDetails();

private:
    bool havePassword();
    void updateField();

    QMainWindow* m_frame;
    PasswordStore* m_passwords;
    QAction* m_syncNow;
    PlannerSync m_sync;
    SyncStatusField* m_field;
    QString m_yearsDir;
    QString m_password;
    bool m_keyringAsked = false;
};
