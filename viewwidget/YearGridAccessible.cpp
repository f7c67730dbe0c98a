#include "YearGridAccessible.h"

#include "Calendar.h"
#include "TextCodec.h"
#include "TolvaView.h"
#include "YearDocument.h"
#include "YearGrid.h"

#include <QWindow>

namespace {

class DayCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    DayCellAccessible(CTolvaView* view, int row, int column) : m_view(view), m_row(row), m_column(column) {}

    bool isValid() const override { return m_view != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override
    {
        if (!m_view || t != QAccessible::Name)
            return QString();
        return YearGridAccessible::cellName(*m_view, m_column + 1, m_row + 1);
    }

    QRect rect() const override
    {
        if (!m_view)
            return {};
        const YearGrid grid(m_view->size(), m_view->settings());
        const QRect cell = grid.cellFill(m_column, m_row);
        return QRect(m_view->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.selectable = true;
        s.focusable = true;
        s.selected = isSelected();
        s.focused = s.selected && m_view && m_view->hasFocus();
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this)
                                                       : nullptr;
    }

    bool isSelected() const override
    {
        return m_view && m_view->selectedDay().wMonth == m_column + 1 &&
               m_view->selectedDay().wDay == m_row + 1;
    }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<CTolvaView> m_view;
    int m_row;
    int m_column;
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CTolvaView") && object && object->isWidgetType())
        return new YearGridAccessible(static_cast<CTolvaView*>(object));
    return nullptr;
}

} // namespace

YearGridAccessible::YearGridAccessible(CTolvaView* view) : QAccessibleWidget(view, QAccessible::Table) {}

YearGridAccessible::~YearGridAccessible()
{
    for (const auto& [index, id] : m_cells)
        QAccessible::deleteAccessibleInterface(id);
}

void YearGridAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

CTolvaView* YearGridAccessible::view() const
{
    return static_cast<CTolvaView*>(widget());
}

QString YearGridAccessible::cellName(const CTolvaView& view, int month, int day)
{
    const int year = view.shownYear();
    if (!Calendar::isValidDate(year, month, day))
        return QStringLiteral("%1 %2 does not exist").arg(Calendar::monthName(month)).arg(day);
    QString name = Calendar::format(Calendar::makeDate(year, month, day), "%A, %B %d, %Y");
    const YearDocument* document = view.document();
    if (!document)
        return name;
    const YearData& data = document->data();
    const int d = Calendar::dayOfYear(year, month, day);
    if (!document->holdsDay(d))
        return name;
    const auto text = [](const QByteArray& bytes) { return TextCodec::decode(bytes); };
    if (!data.m_redTexts.at(d).isEmpty())
        name += QStringLiteral(",   Red day = %1").arg(text(data.m_redTexts.at(d)));
    if (!data.m_memos.at(d).isEmpty())
        name += QStringLiteral(",   Memo = %1").arg(text(data.m_memos.at(d)));
    const AlarmRecord& alarm = data.m_alarms.at(d);
    if (alarm.m_bOn && !data.m_alarmTexts.at(d).isEmpty()) {
        const QString when = Calendar::isValidDateTime(alarm.m_stWhen)
                                 ? Calendar::format(alarm.m_stWhen, "%H:%M, %b %d %Y")
                                 : QStringLiteral("Invalid DateTime");
        name += QStringLiteral(",   Alarm (at %1) = \"%2\"").arg(when, text(data.m_alarmTexts.at(d)));
    }
    const DayMarkRecord& marks = data.m_dayMarks.at(d);
    for (qsizetype p = 0; p < data.m_projects.count() && p < data.m_names.count(); ++p) {
        const ProjectRecord& project = data.m_projects.at(p);
        const bool marked = p < DayMarkRecord::kMaxProjects && marks.m_bChecked[p] != 0;
        const bool covered = project.m_bLongLine != 0 &&
                             Calendar::periodCoversDay(project.m_stStart, project.m_stEnd, year, month, day);
        if (marked || covered)
            name += QStringLiteral(",   Project = %1%2")
                        .arg(text(data.m_names.at(p)), marked ? QStringLiteral(" (checked)") : QString());
    }
    return name;
}

void* YearGridAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int YearGridAccessible::childCount() const
{
    return 12 * 31;
}

QAccessibleInterface* YearGridAccessible::cellAt(int row, int column) const
{
    if (row < 0 || row >= 31 || column < 0 || column >= 12)
        return nullptr;
    const int index = row * 12 + column;
    auto it = m_cells.find(index);
    if (it == m_cells.end()) {
        auto* cell = new DayCellAccessible(view(), row, column);
        it = m_cells.emplace(index, QAccessible::registerAccessibleInterface(cell)).first;
    }
    return QAccessible::accessibleInterface(it->second);
}

QAccessibleInterface* YearGridAccessible::child(int index) const
{
    return index < 0 || index >= childCount() ? nullptr : cellAt(index / 12, index % 12);
}

int YearGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child)
        return -1;
    for (const auto& [index, id] : m_cells)
        if (QAccessible::accessibleInterface(id) == child)
            return index;
    return -1;
}

QAccessibleInterface* YearGridAccessible::childAt(int x, int y) const
{
    CTolvaView* v = view();
    const QPoint local = v->mapFromGlobal(QPoint(x, y));
    const YearGrid grid(v->size(), v->settings());
    if (local.x() < grid.left() || local.x() >= grid.right() || local.y() < grid.top() ||
        local.y() >= grid.bottom())
        return nullptr;
    return cellAt(grid.rowAt(local.y()), grid.columnAt(local.x()));
}

QAccessibleInterface* YearGridAccessible::focusChild() const
{
    const SYSTEMTIME& s = view()->selectedDay();
    return cellAt(s.wDay - 1, s.wMonth - 1);
}

QList<QAccessibleInterface*> YearGridAccessible::selectedCells() const
{
    if (QAccessibleInterface* cell = focusChild())
        return {cell};
    return {};
}

QString YearGridAccessible::columnDescription(int column) const
{
    return Calendar::monthName(column + 1);
}

QString YearGridAccessible::rowDescription(int row) const
{
    return QString::number(row + 1);
}

QString YearGridAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name)
        return QStringLiteral("Year %1").arg(view()->shownYear());
    return QAccessibleWidget::text(t);
}
