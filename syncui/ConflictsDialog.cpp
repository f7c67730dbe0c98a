#include "ConflictsDialog.h"

#include "ICalendarFile.h"
#include "SyncText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { Item, Planner, Server, Keep };

} // namespace

QString ConflictsDialog::shown(const QString& calendarText)
{
    QList<CalendarEvent> events;
    QString error;
    if (calendarText.isEmpty() || !ICalendarFile::readEvents(calendarText.toUtf8(), events, error) ||
        events.isEmpty())
        return SyncText::value(nullptr);
    return SyncText::value(&events.constFirst());
}

ConflictsDialog::ConflictsDialog(const QString& path, QWidget* parent) : QDialog(parent), m_path(path)
{
    setWindowTitle(tr("Sync Conflicts"));
    QString error;
    m_store.load(path, error);
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(error.isEmpty() ? tr("These items were changed in the planner and on the server. "
                                        "Choose the version to keep; the next sync carries it out.")
                                   : error,
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_table = new QTableWidget(int(m_store.entries().size()), 4, this);
    m_table->setObjectName(QStringLiteral("conflicts"));
    m_table->setAccessibleName(tr("Conflicts"));
    m_table->setHorizontalHeaderLabels({tr("Item"), tr("In the planner"), tr("On the server"), tr("Keep")});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const ConflictStore::Entry& e = m_store.entries().at(row);
        m_table->setItem(row, Item, new QTableWidgetItem(e.summary.isEmpty() ? e.uid : e.summary));
        m_table->setItem(row, Planner, new QTableWidgetItem(shown(e.planner)));
        m_table->setItem(row, Server, new QTableWidgetItem(shown(e.server)));
        for (int c = Item; c <= Server; ++c)
            m_table->item(row, c)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        auto* keep = new QComboBox(m_table);
        keep->addItems({tr("Decide later"), tr("The planner's"), tr("The server's")});
        keep->setCurrentIndex(e.settle == QLatin1String("planner")  ? 1
                              : e.settle == QLatin1String("server") ? 2
                                                                    : 0);
        keep->setAccessibleName(tr("Keep for %1").arg(m_table->item(row, Item)->text()));
        m_table->setCellWidget(row, Keep, keep);
    }
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 360);
}

bool ConflictsDialog::apply(QString& error)
{
    const QList<ConflictStore::Entry> entries = m_store.entries(); // put() moves an entry to the end
    for (int row = 0; row < m_table->rowCount(); ++row) {
        ConflictStore::Entry e = entries.at(row);
        const int choice = static_cast<QComboBox*>(m_table->cellWidget(row, Keep))->currentIndex();
        e.settle = choice == 1   ? QStringLiteral("planner")
                   : choice == 2 ? QStringLiteral("server")
                                 : QString();
        m_store.put(e);
    }
    return m_store.save(m_path, error);
}
