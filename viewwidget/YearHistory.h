#pragma once

class QUndoStack;
class YearDocument;

// The undo history of a year: one QUndoStack per YearDocument, shared by every window of that year and
// living exactly as long as the document (it is the document's child), so it outlasts saves and ends
// when the year is closed. Each change to a year's data is one command on it: a Day dialog OK (see
// DayEditCommand), and what a sync takes in, once the planner syncs.
class YearHistory
{
public:
    static QUndoStack* of(YearDocument& document);
};
