#pragma once

#include "CalendarEvent.h"

#include <QList>
#include <QStringList>

struct YearData;

// The events that stand for a year in a calendar: each project with a period as an all-day event over the
// days its line covers, each red day (those that repeat every year with a yearly rule), each memo as an
// all-day event with its text as description, and each alarm that is on as a timed event.
//
// UIDs are built from what identifies an item in the planner, never from its text, so exporting again after
// an edit updates the events instead of adding new ones: "2026-03-15-memo@tolva", "2026-project-3@tolva",
// and "every-year-12-25-red-day@tolva" for a red day that repeats, the same in every year exported.
class CalendarExport
{
public:
    // `notes` gets one line per item left out (a project whose period covers no day).
    static QList<CalendarEvent> events(const YearData& year, QStringList& notes);
};
