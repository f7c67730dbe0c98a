#pragma once

#include "YearSearch.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QTreeWidget;

// Edit > Find: a text searched in the memos, red-day texts, alarm texts and project names of every year
// file as the user types, the hits listed by date; choosing one (Enter or a double click) asks for its day.
// Modeless, so that one hit after another can be looked at.
class FindDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindDialog(const QString& yearsDir, QWidget* parent = nullptr);

    QLineEdit* textEdit() const { return m_text; }
    QTreeWidget* results() const { return m_results; }
    // Shows the dialog with its text selected, ready to be typed over; files saved since are searched too.
    void start();

signals:
    void dayChosen(int year, int month, int day);

private:
    void search();

    YearSearch m_search;
    QLineEdit* m_text;
    QTreeWidget* m_results;
    QLabel* m_status;
};
