#include "DayEditCommand.h"

#include "Calendar.h"
#include "InvalidArgument.h"
#include "TextCodec.h"
#include "YearDocument.h"
#include "YearHistory.h"

#include <QCoreApplication>
#include <QUndoStack>

#include <memory>
#include <utility>

namespace {

QString stepText(const DayChange& change, int year)
{
    const QString name = TextCodec::decode(change.projectName());
    switch (change.projectStep()) {
    case DayChange::ProjectStep::Added:
        return QCoreApplication::translate("DayEditCommand", "Add Project '%1'").arg(name);
    case DayChange::ProjectStep::Changed:
        return QCoreApplication::translate("DayEditCommand", "Change Project '%1'").arg(name);
    case DayChange::ProjectStep::Deleted:
        return QCoreApplication::translate("DayEditCommand", "Delete Project '%1'").arg(name);
    case DayChange::ProjectStep::None:
    case DayChange::ProjectStep::Several:
        break;
    }
    const SYSTEMTIME day = Calendar::dateOfDayOfYear(year, change.dayIndex());
    return QCoreApplication::translate("DayEditCommand", "Edit %1").arg(Calendar::format(day, "%B %d"));
}

} // namespace

DayEditCommand::DayEditCommand(YearDocument& document, const DayEdit& edit)
    : m_document(document), m_change(document.data(), edit)
{
    setText(stepText(m_change, document.year()));
}

void DayEditCommand::commit(YearDocument& document, const DayEdit& edit)
{
    auto command = std::unique_ptr<DayEditCommand>(new DayEditCommand(document, edit));
    document.commitDay(edit);
    if (!command->m_change.isEmpty())
        YearHistory::of(document)->push(command.release());
}

void DayEditCommand::undo()
{
    apply(false);
}

void DayEditCommand::redo()
{
    if (!std::exchange(m_done, false))
        apply(true);
}

void DayEditCommand::apply(bool after)
{
    try {
        const YearData& now = m_document.data();
        m_document.commitDay(after ? m_change.redoEdit(now) : m_change.undoEdit(now));
    } catch (const InvalidArgument&) {
        // The year's lists no longer fit the step (a reload of a damaged file): it leaves the history.
        setObsolete(true);
    }
}
