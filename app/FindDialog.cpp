#include "FindDialog.h"

#include "Calendar.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Role { YearRole = Qt::UserRole, MonthRole, DayRole };

QString fieldName(FindHit::Field field)
{
    switch (field) {
    case FindHit::Field::Memo:
        return FindDialog::tr("Memo");
    case FindHit::Field::RedDay:
        return FindDialog::tr("Red day");
    case FindHit::Field::Alarm:
        return FindDialog::tr("Alarm");
    case FindHit::Field::Project:
        break;
    }
    return FindDialog::tr("Project");
}

} // namespace

FindDialog::FindDialog(const QString& yearsDir, QWidget* parent)
    : QDialog(parent), m_search(yearsDir), m_text(new QLineEdit(this)), m_results(new QTreeWidget(this)),
      m_status(new QLabel(this))
{
    setWindowTitle(tr("Find"));
    setObjectName(QStringLiteral("findDialog"));
    auto* label = new QLabel(tr("Find &what:"), this);
    label->setBuddy(m_text);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setAccessibleName(tr("Text to find"));
    m_text->setClearButtonEnabled(true);
    m_results->setObjectName(QStringLiteral("findResults"));
    m_results->setAccessibleName(tr("Days found"));
    m_results->setHeaderLabels({tr("Date"), tr("In"), tr("Text")});
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_status->setObjectName(QStringLiteral("findStatus"));
    m_status->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_text);
    layout->addWidget(m_results, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(560, 420);

    connect(m_text, &QLineEdit::textChanged, this, &FindDialog::search);
    // Down from the text goes to the hits, Enter there shows the day.
    connect(m_text, &QLineEdit::returnPressed, this, [this] {
        if (QTreeWidgetItem* first = m_results->topLevelItem(0)) {
            m_results->setCurrentItem(first);
            m_results->setFocus();
        }
    });
    connect(m_results, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        emit dayChosen(item->data(0, YearRole).toInt(), item->data(0, MonthRole).toInt(),
                       item->data(0, DayRole).toInt());
    });
}

void FindDialog::start()
{
    show();
    raise();
    activateWindow();
    m_text->setFocus();
    m_text->selectAll();
    search();
}

void FindDialog::search()
{
    m_search.refresh();
    const QList<FindHit> hits = m_search.find(m_text->text());
    m_results->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(hits.size());
    for (const FindHit& hit : hits) {
        const SYSTEMTIME date = Calendar::makeDate(hit.year, hit.month, hit.day);
        QString text = hit.text;
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        auto* item = new QTreeWidgetItem({Calendar::format(date, "%a %d %b %Y"), fieldName(hit.field), text});
        item->setData(0, YearRole, hit.year);
        item->setData(0, MonthRole, hit.month);
        item->setData(0, DayRole, hit.day);
        items.append(item);
    }
    m_results->addTopLevelItems(items);
    QString status = m_text->text().isEmpty() ? QString()
                     : hits.isEmpty()         ? tr("Not found.")
                     : hits.size() == 1       ? tr("1 match.")
                                              : tr("%1 matches.").arg(hits.size());
    const QStringList damaged = m_search.damagedYears();
    if (!damaged.isEmpty())
        status += QLatin1Char(' ') + tr("Damaged year files, searched as far as they read: %1.")
                                         .arg(damaged.join(QStringLiteral("; ")));
    m_status->setText(status.trimmed());
}
