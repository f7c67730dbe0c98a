#pragma once

#include "DayChange.h"

#include <QUndoCommand>

class YearDocument;

// One Day dialog OK as a step of the year's undo history: it sets the old or the new side of what the OK
// changed through the document's own edit, so views repaint and every-year red days follow as for the OK.
class DayEditCommand : public QUndoCommand
{
public:
    // The Day dialog's OK: commits `edit` through the document, then makes it a step of the year's history
    // unless it changed nothing. Throws InvalidArgument, changing nothing, when the edit does not fit.
    static void commit(YearDocument& document, const DayEdit& edit);

    void undo() override;
    void redo() override;

private:
    // The change `edit` makes to the document as it stands; its first redo finds it made already.
    DayEditCommand(YearDocument& document, const DayEdit& edit);
    void apply(bool after);

    YearDocument& m_document;
    DayChange m_change;
    bool m_done = true;
};
