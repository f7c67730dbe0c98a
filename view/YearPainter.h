#pragma once

#include "DayHit.h"

#include <QPoint>
#include <QSize>
#include <QString>

#include <optional>

class Clock;
class PaintResources;
class QPainter;
class YearDocument;
class YearGrid;
struct DisplaySettings;
struct YearData;

// Draws a year onto any QPainter (window, image, print preview, printer) and maps pointer positions back
// to days. The extent is the width and height of the window that owns the surface (for a printed page,
// the page in the painter's logical units); the grid is laid out from it. Holds no state: one object
// serves the whole process.
class CYearPainter
{
public:
    // Paints the whole year with the view's pen and fonts. The painter's background colour is the
    // surface's initial text background (the year label and 1 January stand on it). Raises InvalidArgument
    // when a per-day list is shorter than the day it needs; the painter's state is restored either way.
    void PaintYear(QPainter& painter, QSize extent, const YearData& year,
                   const PaintResources& resources) const;
    // The same with the settings apart from the lists, for views that share one year's lists but keep
    // their own toggles and selection; lists.m_settings is not read.
    void PaintYear(QPainter& painter, QSize extent, const DisplaySettings& settings, const YearData& lists,
                   const PaintResources& resources) const;

    DayHit HitTestDay(QSize extent, const DisplaySettings& settings, QPoint pos) const;

    // Text for status pane 0 with the pointer at pos: the date under it and what the pointer rests on.
    // An empty text clears the pane (no such day); nullopt leaves it untouched (status info turned off).
    std::optional<QString> StatusText(QSize extent, const YearData& year, QPoint pos) const;
    // lists.m_settings is not read.
    std::optional<QString> StatusText(QSize extent, const DisplaySettings& settings, const YearData& lists,
                                      QPoint pos) const;

    // Once a second per view: the message of the first due alarm of the document's year, which is marked
    // fired before anyone sees the message, or an empty text when none is due.
    QString CheckAlarms(YearDocument& document, const Clock& clock) const;

private:
    class ProjectStrokes;

    // Emits the long lines and marks of one cell; (x, y) is its cell origin.
    void PaintDayProjects(ProjectStrokes& strokes, const YearData& lists, const YearGrid& grid, int x, int y,
                          int shownYear, int month, int day) const;
};

// The process's painter; points at a built-in instance until the main frame sets its own.
extern CYearPainter* g_pYearPainter;
