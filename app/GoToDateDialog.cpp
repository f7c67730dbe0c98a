#include "GoToDateDialog.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>

GoToDateDialog::GoToDateDialog(QDate initial, QWidget* parent) : QDialog(parent), m_date(new QDateEdit(this))
{
    setWindowTitle(tr("Go to Date"));
    setObjectName(QStringLiteral("goToDateDialog"));
    // English like every date the planner shows, whatever the user's locale.
    m_date->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    m_date->setObjectName(QStringLiteral("dateEdit"));
    m_date->setAccessibleName(tr("Date"));
    m_date->setDisplayFormat(QStringLiteral("dd MMMM yyyy"));
    m_date->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
    m_date->setCalendarPopup(true);
    m_date->setDate(initial.isValid() ? initial : QDate::currentDate());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QFormLayout(this);
    layout->addRow(tr("&Date:"), m_date);
    layout->addRow(buttons);
}

QDate GoToDateDialog::date() const
{
    return m_date->date();
}

std::optional<QDate> GoToDateDialog::ask(QDate initial, QWidget* parent)
{
    GoToDateDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.date();
}
