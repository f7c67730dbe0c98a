#pragma once

class QUndoStack;
class YearDocument;

// The undo history of a year: one QUndoStack per YearDocument, shared by every window of that year and
// living exactly as long as the document (it is the document's child), so it outlasts saves and ends
// when the year is closed.
class YearHistory
{
public:
    static QUndoStack* of(YearDocument& document);
};
