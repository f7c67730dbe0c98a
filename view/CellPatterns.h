#pragma once

#include "CellTileCache.h"
#include "GridLines.h"
#include "OpaqueRects.h"
#include "ProjectPeriods.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QRect>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class DayNumbers;
class DeviceUnits;
class QFont;
class QPainter;
class YearGrid;
struct DisplaySettings;
struct YearData;

// The year's frame, cells and grid lines painted in device pixels at scale 1 or 2, for the usual layouts,
// where everything a cell shows stays inside its own cell: its fill, markers, number and project strokes
// never reach another cell, and the year label stays above the grid. The picture is that of the rules'
// cell order; what changes is how the pixels get there, so that each is written about once:
// - a cell is its head (left of the pattern area: markers, day number, the first slots) and its pattern
//   area (the other slots). The head is drawn by the rules' own operations once per distinct content into
//   a scratch image and copied into the cells; the pattern area is made of two kinds of pixel row (lines
//   only, lines and marks), drawn once per distinct pattern and copied in as texture rows;
// - a plain cell takes the frame's white itself, so the frame (GridLines) paints only its outline and the
//   strips that neither a cell nor a grid line covers;
// - the cells go row by row, each day row followed by the grid lines across it (GridLines::paintBand),
//   while its pixels are in cache. Nothing painted later in the rules' order reaches those lines except the
//   month labels, whose places are painted over again (repaintGridLinesOver);
// - frame, cells and lines are opaque rectangles (OpaqueRects), written to a plain image scanline by
//   scanline. The frame's waits for the cells: nothing between them in the rules' order (the year label)
//   reaches the grid.
// A paint that a short list would stop part-way keeps the rules' cell order (see listsCoverTheYear).
class CellPatterns
{
public:
    struct Layout
    {
        bool markers = false;
        bool redDays = false;
        bool projects = false;
        const DayNumbers* numbers = nullptr;
        const QFont* dayFont = nullptr;
        int numberHeight = 0;
        int numberAscent = 0;
        // Heads kept from earlier paints of the same view; a paint without one keeps its own.
        CellTileCache* tiles = nullptr;
    };

    static bool applies(const YearGrid& grid, const Layout& layout, const QRect& yearLabelInk);

    CellPatterns(QPainter& painter, DeviceUnits& units, int scale, const YearGrid& grid, const Layout& layout,
                 const DisplaySettings& settings, const YearData& lists);
    ~CellPatterns();
    CellPatterns(const CellPatterns&) = delete;
    CellPatterns& operator=(const CellPatterns&) = delete;

    // Whether every list holds each day the cells read, so that the paint cannot stop part-way.
    bool listsCoverTheYear() const;

    // The outline, and the strips of the frame's white inside that no cell and no grid line covers.
    void paintFrame(const QColor& gridColour);
    // The cells and the grid lines; returns the text background they leave.
    QColor paintCells(QColor background, const QColor& gridColour);
    // The grid lines again where something painted after them (a label, in logical units) may lie.
    void repaintGridLinesOver(const QRect& logical, const QColor& gridColour);

private:
    struct Sheet
    {
        QImage image;
        std::unique_ptr<QPainter> painter;
        int used = 0;
    };
    struct Pattern
    {
        QBrush lines;
        QBrush marks;
    };

    void paintCell(int m, int d, bool whiteRow);
    bool numberLeavesTheInside(const QRect& fill, int d) const;
    void paintOverTheOutline(const QRect& fill);
    void paintCellDirectly(const QRect& fill, const QRect& device, int d);
    void collectSlots(int x, int month, int day);
    CellTileCache::Tile headTile(int d);
    void drawHead(QPainter& p, int y, int d) const;
    void drawDayNumber(QPainter& p, QPoint origin, int d) const;
    void drawSlots(QPainter& p, const std::vector<std::uint32_t>& codes, int x, int y) const;
    const Pattern& pattern();
    void paintPatternRows(const QRect& area, int left, const Pattern& pattern, int y);
    Sheet& sheetWithRoom(std::vector<std::unique_ptr<Sheet>>& sheets, int width, int height, int perSheet);

    QPainter& m_painter;
    DeviceUnits& m_units;
    const int m_scale;
    const YearGrid& m_grid;
    const Layout m_layout;
    const DisplaySettings& m_settings;
    const YearData& m_lists;
    const int m_shownYear;
    const bool m_cellDetails;
    const QImage::Format m_format;
    int m_headWidth = 0;    // device pixels from the cell's left edge
    int m_patternWidth = 0; // device pixels right of the head
    OpaqueRects m_rects;    // the surface's pixels, written row by row where it can
    GridLines m_lines;
    ProjectPeriods m_periods;

    // A cell of the day row being painted: its colours and marks, and its slots (index << 2 | line |
    // mark << 1), all of them and those that reach the head and the pattern area.
    struct CellState
    {
        bool valid = false;
        bool plain = false;
        bool memo = false;
        bool alarm = false;
        bool red = false;
        QColor colour;
        QColor background;
        std::vector<std::uint32_t> all;
        std::vector<std::uint32_t> head;
        std::vector<std::uint32_t> pattern;
    };
    std::array<CellState, 12> m_row;
    CellState* m_cell = nullptr;
    std::vector<std::uint32_t> m_key;

    CellTileCache* m_tiles = nullptr;
    std::unique_ptr<CellTileCache> m_ownTiles;
    std::map<std::vector<std::uint32_t>, Pattern> m_patterns;
    std::vector<std::unique_ptr<Sheet>> m_patternSheets;
};
