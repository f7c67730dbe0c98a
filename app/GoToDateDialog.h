#pragma once

#include <QDate>
#include <QDialog>

#include <optional>

class QDateEdit;

// View > Go to Date: one date field; OK shows that date's year and selects the day.
class GoToDateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit GoToDateDialog(QDate initial, QWidget* parent = nullptr);

    QDateEdit* dateEdit() const { return m_date; }
    QDate date() const;
    // Runs the dialog; the date chosen, or none after Cancel.
    static std::optional<QDate> ask(QDate initial, QWidget* parent);

private:
    QDateEdit* m_date;
};
