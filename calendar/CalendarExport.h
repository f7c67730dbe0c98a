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
// an edit updates the events instead of adding new ones: "2026-03-15-memo@tolva", and
// "every-year-12-25-red-day@tolva" for a red day that repeats, the same in every year exported (its event
// starts in kEveryYearStart, whatever year is shown, so two years publish the very same event). A project
// has no identity in the file; its UID is handed in by the caller (ProjectIdentity), and is
// "2026-project-3@tolva" by position where none is.
class CalendarExport
{
public:
    // A leap year, so that 29 February repeats too.
    static constexpr int kEveryYearStart = 1972;
    static constexpr int kMaxSummaryLength = 80;

    // `notes` gets one line per item left out (a project whose period covers no day). `projectUids[i]` is
    // the UID of project i where given and not empty.
    static QList<CalendarEvent> events(const YearData& year, QStringList& notes,
                                       const QStringList& projectUids = {});

    // The event of a red day with `text` (line feeds) on `month`/`day` of `year`, as events() gives it.
    static CalendarEvent redDayEvent(int year, int month, int day, const QString& text, bool everyYear);
    static QString positionalProjectUid(int year, qsizetype position);
    // The first line of `text`, cut to kMaxSummaryLength characters with an ellipsis.
    static QString summaryOf(const QString& text);
    // Stored texts break lines with CR LF; a calendar wants plain line feeds.
    static QString plainText(const QByteArray& bytes);
};
