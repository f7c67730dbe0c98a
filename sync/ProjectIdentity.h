#pragma once

#include "CalendarEvent.h"

#include <QList>
#include <QStringList>

// Which UID each of a year's projects carries. The year file has no id field and a project's position
// changes when one before it goes, so the projects are matched to those of the last sync by what they
// hold before where they stand: all fields alike first, then the same days and colour (renamed), then the
// same name (moved), then the same days, and only then the same position (edited in several fields).
// Ties go to the nearer position. A project left unmatched is new: it gets the UID of its position when no
// event has that one, else a new one.
class ProjectIdentity
{
public:
    struct Project
    {
        qsizetype position = -1;
        CalendarEvent event; // as the export gives it (UID aside)
    };
    struct Known
    {
        QString uid;
        qsizetype position = -1;
        CalendarEvent event; // as the last sync left it
    };

    // One UID per entry of `now`, in its order.
    static QStringList match(const QList<Project>& now, const QList<Known>& known, int year);

    static QString newUid(int year);
};
