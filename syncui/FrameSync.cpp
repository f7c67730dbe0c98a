#include "FrameSync.h"

#include "AccountDialog.h"
#include "CalDavAccount.h"
#include "ConflictStore.h"
#include "ConflictsDialog.h"
#include "PasswordStore.h"
#include "SyncAccount.h"
#include "SyncStatusField.h"
#include "YearRegistry.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

namespace {

// The environment or ~/.netrc give the password: the session finds it there itself.
bool passwordOutside(const QUrl& url, QString user)
{
    QString password;
    return CalDavAccount::fromOutside(url, user, password) != CalDavAccount::Source::None;
}

} // namespace

FrameSync::FrameSync(QMainWindow* frame, YearRegistry& registry, const QString& yearsDir, QAction* syncNow)
    : QObject(frame), m_frame(frame), m_passwords(new PasswordStore(this)), m_syncNow(syncNow),
      m_sync(registry, yearsDir), m_field(new SyncStatusField(frame)), m_yearsDir(yearsDir)
{
    frame->statusBar()->insertPermanentWidget(0, m_field);
    connect(&m_sync, &PlannerSync::statusChanged, this, &FrameSync::updateField);
    connect(m_field, &SyncStatusField::clicked, this, &FrameSync::showDetails);
    connect(m_syncNow, &QAction::triggered, this, &FrameSync::syncNow);
    connect(&registry, &YearRegistry::saved, &m_sync, &PlannerSync::yearSaved);
    connect(m_passwords, &PasswordStore::readFinished, this,
            [this](const QString& key, const PasswordStore::Result& result) {
                if (key != PasswordStore::keyFor(m_sync.account().url, m_sync.account().user))
                    return;
                if (result.outcome == PasswordStore::Outcome::Done)
                    m_password = result.password;
                this->syncNow();
            });
    m_sync.setMassDeletionQuestion([this](const QString& why) {
        return QMessageBox::question(m_frame, tr("Calendar Sync"),
                                     tr("The sync stopped: %1\n\nRemove those items all the same?").arg(why),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    });
    loadAccount();
}

void FrameSync::loadAccount()
{
    SyncAccount account;
    QString error;
    account.load(SyncAccount::defaultPath(), error);
    const QDateTime since = QFileInfo(SyncAccount::defaultPath()).birthTime();
    m_sync.setAccount({account.url(), account.user(), account.caFile(), account.syncsAutomatically(),
                       since.isValid() ? since : QFileInfo(SyncAccount::defaultPath()).lastModified()});
    m_password.clear();
    m_keyringAsked = false;
    m_syncNow->setEnabled(account.isSet());
    updateField();
}

void FrameSync::atStart()
{
    if (m_sync.account().autoSync)
        QTimer::singleShot(2000, this, &FrameSync::syncNow);
}

void FrameSync::editAccount()
{
    AccountDialog dialog(*m_passwords, SyncAccount::defaultPath(), m_frame);
    if (dialog.exec() == QDialog::Accepted)
        loadAccount();
}

void FrameSync::atExit()
{
    if (!m_sync.account().autoSync || !havePassword())
        return;
    m_sync.syncAtExit();
}

// The password from outside, the keyring (asked once, without waiting on it), or the user (once a session).
bool FrameSync::havePassword()
{
    const PlannerSync::Account& a = m_sync.account();
    if (!m_password.isEmpty() || a.user.isEmpty() || passwordOutside(a.url, a.user))
        return true;
    const QString key = PasswordStore::keyFor(a.url, a.user);
    m_password = m_passwords->sessionPassword(key);
    return !m_password.isEmpty();
}

void FrameSync::syncNow()
{
    if (m_sync.state() == PlannerSync::State::Off)
        return;
    const PlannerSync::Account& a = m_sync.account();
    if (!havePassword()) {
        const QString key = PasswordStore::keyFor(a.url, a.user);
        if (!m_keyringAsked) {
            m_keyringAsked = true;
            m_passwords->read(key); // answers through readFinished, which comes back here
            return;
        }
        bool ok = false;
        const QString typed = QInputDialog::getText(m_frame, tr("Calendar Sync"),
                                                    tr("Password for %1 at %2:").arg(a.user, a.url.host()),
                                                    QLineEdit::Password, QString(), &ok);
        if (!ok || typed.isEmpty())
            return;
        m_passwords->keepForSession(key, typed);
        m_password = typed;
    }
    m_sync.setPassword(m_password);
    m_sync.syncNow();
}

void FrameSync::showDetails()
{
    if (m_sync.conflicts() > 0) {
        for (const int year : m_sync.yearsToSync()) {
            ConflictsDialog dialog(QDir(m_yearsDir).filePath(ConflictStore::fileName(year)), m_frame);
            if (!dialog.hasConflicts() || dialog.exec() != QDialog::Accepted)
                continue;
            QString error;
            if (!dialog.apply(error))
                QMessageBox::warning(m_frame, tr("Calendar Sync"), error);
        }
        syncNow();
        return;
    }
    QMessageBox box(QMessageBox::Information, tr("Calendar Sync"),
                    m_sync.statusText().isEmpty() ? tr("Not synced yet.") : m_sync.statusText(),
                    QMessageBox::Ok, m_frame);
    box.setDetailedText(m_sync.details().join(QLatin1Char('\n')));
    box.exec();
}

void FrameSync::updateField()
{
    m_field->setText(m_sync.statusText());
    m_field->setVisible(m_sync.state() != PlannerSync::State::Off);
}
