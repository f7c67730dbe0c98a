#pragma once

#include "CalendarEvent.h"

#include <QDate>
#include <QList>
#include <QString>

class YearDocument;

// Applies server versions of items to the year through its one document, so that every-year red days
// reach ForeverRedDays.year by the planner's own rules.
class YearEdits
{
public:
    YearEdits(YearDocument& document, int year) : m_doc(document), m_year(year) {}

    // Whether the year can hold a planner's event read from the server.
    static bool holds(const CalendarEvent& e, int year);

    // `local`: the item as the year has it now (where it is), null for an item new here. `base`: as the
    // last sync agreed, null when unknown. False with `why` when the year cannot hold it.
    bool apply(const CalendarEvent& server, const CalendarEvent* local, const CalendarEvent* base,
               QString& why);

    // The item is gone on the server: a memo or red day goes, an alarm is turned off, a project removed
    // (once every other edit is in, since removing moves the projects after it).
    void remove(const CalendarEvent& local);
    // Removes the projects remove() was given.
    void finish();

    // Where the project last applied stands now.
    qsizetype lastPosition() const { return m_lastPosition; }

private:
    int dayIndex(const QDate& d) const;
    static bool noDay(const CalendarEvent& e, QString& why);
    bool applyProject(const CalendarEvent& server, const CalendarEvent* local, const CalendarEvent* base,
                      QString& why);

    YearDocument& m_doc;
    int m_year;
    QList<qsizetype> m_removedProjects;
    qsizetype m_lastPosition = -1;
};
