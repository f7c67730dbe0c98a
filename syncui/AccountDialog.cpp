#include "AccountDialog.h"

#include "AccountProbe.h"
#include "CalDavAccount.h"
#include "PasswordStore.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* lineEdit(QWidget* parent, const char* name, const QString& accessible)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(accessible);
    return edit;
}

} // namespace

AccountDialog::AccountDialog(PasswordStore& passwords, const QString& path, QWidget* parent)
    : QDialog(parent), m_passwords(passwords), m_path(path)
{
    build();
    QString error;
    if (!m_account.load(m_path, error))
        m_result->setText(error + QStringLiteral(". OK keeps it aside and writes a new one."));
    m_url->setText(m_account.url().toDisplayString());
    m_user->setText(m_account.user());
    m_caFile->setText(m_account.caFile());
    m_remember->setChecked(m_account.remembersPassword());
    m_automatic->setChecked(m_account.syncsAutomatically());
    if (!m_account.isSet())
        return;
    m_password->setText(m_passwords.sessionPassword(key()));
    // Filled in when the keyring answers, unless the user has typed meanwhile.
    const QString asked = key();
    connect(&m_passwords, &PasswordStore::readFinished, this,
            [this, asked](const QString& k, const PasswordStore::Result& r) {
                if (k == asked && key() == asked && m_password->text().isEmpty() &&
                    r.outcome == PasswordStore::Outcome::Done)
                    m_password->setText(r.password);
            });
    m_passwords.read(asked);
}

void AccountDialog::build()
{
    setObjectName(QStringLiteral("accountDialog"));
    setWindowTitle(QStringLiteral("Calendar Account"));
    m_url = lineEdit(this, "url", QStringLiteral("Server address"));
    m_url->setPlaceholderText(QStringLiteral("https://cal.example.org/dav/anna/planner/"));
    m_user = lineEdit(this, "user", QStringLiteral("User name"));
    m_password = lineEdit(this, "password", QStringLiteral("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = new QCheckBox(QStringLiteral("&Remember the password in the keyring"), this);
    m_remember->setObjectName(QStringLiteral("remember"));
    m_remember->setAccessibleName(QStringLiteral("Remember the password in the keyring"));
    m_caFile = lineEdit(this, "caFile", QStringLiteral("Certificate authority file"));
    m_caFile->setPlaceholderText(QStringLiteral("optional: a PEM file for a private authority"));
    auto* choose = new QPushButton(QStringLiteral("C&hoose..."), this);
    choose->setObjectName(QStringLiteral("chooseCaFile"));
    choose->setAccessibleName(QStringLiteral("Choose the certificate authority file"));
    m_automatic = new QCheckBox(QStringLiteral("Sync &automatically"), this);
    m_automatic->setObjectName(QStringLiteral("automatic"));
    m_automatic->setAccessibleName(QStringLiteral("Sync automatically"));
    m_test = new QPushButton(QStringLiteral("&Test"), this);
    m_test->setObjectName(QStringLiteral("test"));
    m_test->setAccessibleName(QStringLiteral("Test"));
    m_test->setAutoDefault(false);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("testResult"));
    m_result->setAccessibleName(QStringLiteral("Test result"));
    m_result->setWordWrap(true);
    // A fingerprint is to be compared with the server's: selectable, and reachable with Tab.
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_result->setFocusPolicy(Qt::StrongFocus);
    // Room for a refused certificate's reason and fingerprint without the dialog changing size.
    m_result->setMinimumHeight(fontMetrics().lineSpacing() * 6);
    m_result->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Server address:"), m_url);
    form->addRow(QStringLiteral("&User name:"), m_user);
    form->addRow(QStringLiteral("&Password:"), m_password);
    form->addRow(QString(), m_remember);
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile, 1);
    caRow->addWidget(choose);
    auto* caLabel = new QLabel(QStringLiteral("&Certificate authority file:"), this);
    caLabel->setBuddy(m_caFile);
    form->addRow(caLabel, caRow);
    form->addRow(QString(), m_automatic);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(m_test, 0, Qt::AlignTop);
    testRow->addWidget(m_result, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setAccessibleName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(testRow);
    layout->addStretch(1);
    layout->addWidget(buttons);
    m_url->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
    const QList<QWidget*> order{m_url,  m_user,      m_password, m_remember, m_caFile,
                                choose, m_automatic, m_test,     m_result};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    connect(buttons, &QDialogButtonBox::accepted, this, &AccountDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AccountDialog::reject);
    connect(m_test, &QPushButton::clicked, this, &AccountDialog::test);
    connect(choose, &QPushButton::clicked, this, &AccountDialog::chooseCaFile);
}

QString AccountDialog::testResult() const
{
    return m_result->text();
}

QString AccountDialog::key() const
{
    return PasswordStore::keyFor(QUrl(m_url->text().trimmed()), m_user->text().trimmed());
}

bool AccountDialog::fieldsToAccount(SyncAccount& account)
{
    const QString text = m_url->text().trimmed();
    const QUrl url(text, QUrl::StrictMode);
    QString error;
    if (text.isEmpty())
        error = QStringLiteral("The server address is missing: the URL of the calendar.");
    else if (!url.isValid())
        error = QStringLiteral("'%1' is not a URL: %2").arg(text, url.errorString());
    else
        CalDavAccount::checkUrl(url, false, error);
    if (!error.isEmpty()) {
        m_result->setText(error);
        m_url->setFocus();
        return false;
    }
    account = m_account;
    account.setUrl(url);
    account.setUser(m_user->text().trimmed());
    account.setCaFile(m_caFile->text().trimmed());
    account.setRemembersPassword(m_remember->isChecked());
    account.setSyncsAutomatically(m_automatic->isChecked());
    return true;
}

void AccountDialog::test()
{
    SyncAccount account;
    if (!fieldsToAccount(account))
        return;
    QString password = m_password->text();
    QString error;
    CalDavAccount resolved;
    // An empty field: whatever tolva-cli would find (environment, ~/.netrc, keyring).
    if (password.isEmpty() && !account.user().isEmpty() &&
        resolved.resolve(account.url(), account.user(), error))
        password = resolved.password();
    m_result->setText(QStringLiteral("Trying %1...").arg(account.url().toDisplayString()));
    m_test->setEnabled(false);
    const AccountProbe::Finding found =
        AccountProbe::tryAccount(account.url(), account.user(), password, account.caFile(), kTestTimeoutMs);
    m_test->setEnabled(true);
    m_result->setText(found.text());
}

void AccountDialog::chooseCaFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Certificate Authority File"), m_caFile->text(),
                                     QStringLiteral("PEM certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty())
        m_caFile->setText(file);
}

void AccountDialog::accept()
{
    SyncAccount account;
    if (!fieldsToAccount(account))
        return;
    QString error;
    if (!account.save(m_path, error)) {
        QMessageBox::warning(this, windowTitle(), error);
        return;
    }
    m_account = account;
    const QString password = m_password->text();
    if (password.isEmpty() || account.user().isEmpty())
        return QDialog::accept();
    // This run has it in any case; the keyring keeps it for the next.
    m_passwords.keepForSession(key(), password);
    if (!account.remembersPassword()) {
        m_passwords.remove(key());
        return QDialog::accept();
    }
    m_ok->setEnabled(false);
    m_result->setText(QStringLiteral("Storing the password in the keyring..."));
    const QString stored = key();
    connect(&m_passwords, &PasswordStore::writeFinished, this,
            [this, stored](const QString& k, const PasswordStore::Result& r) {
                if (k == stored)
                    finish(r.outcome == PasswordStore::Outcome::Done ? QString() : r.error);
            });
    m_passwords.write(stored, password);
}

void AccountDialog::finish(const QString& keyringProblem)
{
    m_ok->setEnabled(true);
    if (!keyringProblem.isEmpty())
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("No keyring answers (%1). Tolva keeps the password until it quits "
                           "and asks for it again after the next start.")
                .arg(keyringProblem));
    QDialog::accept();
}
