#pragma once

#include "SyncAccount.h"

#include <QDialog>

class PasswordStore;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// File > Calendar Account...: the one account the planner and tolva-cli share. OK writes the account file
// and puts the password in the keyring (or, where no keyring answers or it is not to be remembered, keeps
// it in `passwords` for this run only); Test tries the account without storing anything.
class AccountDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kTestTimeoutMs = 15000;

    // Shows the account in `path` (SyncAccount::defaultPath() normally). `passwords` must outlive the
    // dialog.
    AccountDialog(PasswordStore& passwords, const QString& path, QWidget* parent = nullptr);

    void accept() override;

    // What the last Test found, as shown.
    QString testResult() const;

private:
    void build();
    void test();
    void chooseCaFile();
    // The fields as an account; false with a message shown when they cannot be one.
    bool fieldsToAccount(SyncAccount& account);
    QString key() const;
    void finish(const QString& keyringProblem);

    PasswordStore& m_passwords;
    QString m_path;
    SyncAccount m_account;
    QLineEdit* m_url = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_remember = nullptr;
    QLineEdit* m_caFile = nullptr;
    QCheckBox* m_automatic = nullptr;
    QPushButton* m_test = nullptr;
    QLabel* m_result = nullptr;
    QPushButton* m_ok = nullptr;
};
