#pragma once

#include <QAccessibleWidget>

#include <map>

class CTolvaView;

// The painted year as assistive technology sees it: a table with a row per day number and a column per
// month. Each cell is named by its date and what the day holds, and the selected cell has the focus, so a
// screen reader follows the arrow keys.
class YearGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit YearGridAccessible(CTolvaView* view);
    ~YearGridAccessible() override;

    // Installs the factory that gives every CTolvaView this interface; once per process.
    static void install();
    static int childIndex(int month, int day) { return (day - 1) * 12 + (month - 1); }

    // The accessible name of a cell: the date as the status bar writes it, then what the day holds.
    static QString cellName(const CTolvaView& view, int month, int day);

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text t) const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override { return 1; }
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    int columnCount() const override { return 12; }
    QString rowDescription(int row) const override;
    int rowCount() const override { return 31; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectColumn(int) override { return false; }
    bool selectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

    CTolvaView* view() const;

private:
    mutable std::map<int, QAccessible::Id> m_cells;
};
