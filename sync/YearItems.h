#pragma once

#include "CalendarEvent.h"
#include "SyncPlan.h"

#include <QList>
#include <QStringList>

struct YearData;

// A year's events under the UIDs the last sync knew them by, so that the server's copy of an item stays
// the same object whatever happens around it: projects matched by ProjectIdentity, a red day, memo or alarm
// by its kind and day (a day item moved on another client keeps its UID on its new day). Items new since
// get the export's UID, or a fresh one where that is taken.
class YearItems
{
public:
    static QList<CalendarEvent> events(const YearData& year, const QList<SyncPlan::Known>& known,
                                       QStringList& notes);

    // The event a known entry's content holds; false for an entry without one (a foreign event, or a
    // state from before contents were kept).
    static bool baseEvent(const SyncPlan::Known& known, CalendarEvent& event);

    // What identifies a day item in the year: its kind and day; an every-year red day by month and day.
    // Empty for a project.
    static QString dayKey(const CalendarEvent& event);
    // SyncPlan::Known::key of an event: its day key, or kProjectKey.
    static QString keyOf(const CalendarEvent& event);
    static constexpr const char* kProjectKey = "project";
};
