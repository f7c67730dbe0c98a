#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

struct DisplaySettings;

// Layout of one year on a surface of a given extent: twelve month columns by 31 day rows, and the offsets
// of the markers, day number and project slots inside a cell. Painting, the hit test and printing all take
// their positions from here. Sizes are doubles formed as W / 12 and H / 31 would be by the products with
// the nearest doubles; positions are truncated toward zero exactly where the layout says so.
//
// Layout numbers come from files, so every one is held to +-kLimit pixels and the extent to
// +-kExtentLimit (a poster printed at 1200 dpi is far smaller): positions formed from them then stay inside
// int and inside the 26.6 fixed point that Qt lays text out in (2^25).
class YearGrid
{
public:
    static constexpr int kLimit = 1 << 20;
    static constexpr int kExtentLimit = 1 << 24;

    YearGrid(QSize extent, const DisplaySettings& settings);

    double columnWidth() const { return m_cw; }
    double rowHeight() const { return m_rh; }
    // trunc(cw), trunc(rh): the size of a cell fill.
    int cellWidth() const { return m_cellWidth; }
    int cellHeight() const { return m_cellHeight; }

    int left() const { return m_margin; }
    int top() const { return m_top; }
    int right() const { return m_right; }
    int bottom() const { return m_bottom; }

    // Grid line of column m (0 = left edge of January; k = right edge of month k), row d likewise.
    int columnX(int m) const;
    int rowY(int d) const;
    // First pixel inside the lines of cell (m, d); every offset in a cell is added to it.
    QPoint cellOrigin(int m, int d) const { return {columnX(m) + 1, rowY(d) + 1}; }
    QRect cellFill(int m, int d) const { return {cellOrigin(m, d), QSize(m_cellWidth, m_cellHeight)}; }

    // trunc((x - margin) / cw), held to -1..12 (and the row to -1..31): anything beyond the grid stays
    // beyond it, and a huge pointer position or a zero cell size cannot overflow.
    int columnAt(int x) const;
    int rowAt(int y) const;

    int projectX() const { return m_projectX; }
    int projectPitch() const { return m_projectPitch; }
    int markerX() const { return m_markerX; }
    int markerY() const { return m_markerY; }
    int markerWidth() const { return m_markerWidth; }
    int markerHeight() const { return m_markerHeight; }
    int dayNumberX() const { return m_dayNumberX; }
    int dayNumberY() const { return m_dayNumberY; }

    // Cell-relative marker rectangles (from the cell origin); the alarm sits one pixel below the memo.
    QRect memoMarker() const { return {m_markerX, m_markerY, m_markerWidth, m_markerHeight}; }
    QRect alarmMarker() const
    {
        return {m_markerX, m_markerY + m_markerHeight + 1, m_markerWidth, m_markerHeight};
    }

private:
    double m_cw;
    double m_rh;
    int m_cellWidth;
    int m_cellHeight;
    int m_margin;
    int m_top;
    int m_right;
    int m_bottom;
    int m_projectX;
    int m_projectPitch;
    int m_markerX;
    int m_markerY;
    int m_markerWidth;
    int m_markerHeight;
    int m_dayNumberX;
    int m_dayNumberY;
};
