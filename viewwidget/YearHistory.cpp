#include "YearHistory.h"

#include "YearDocument.h"

#include <QUndoStack>

QUndoStack* YearHistory::of(YearDocument& document)
{
    if (auto* stack = document.findChild<QUndoStack*>(QString(), Qt::FindDirectChildrenOnly))
        return stack;
    return new QUndoStack(&document);
}
