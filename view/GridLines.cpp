#include "GridLines.h"

#include "DeviceUnits.h"
#include "OpaqueRects.h"
#include "YearGrid.h"

#include <algorithm>
#include <limits>

namespace {

const QColor kWhite(255, 255, 255);

} // namespace

GridLines::GridLines(OpaqueRects& rects, int scale, const YearGrid& grid)
    : m_rects(rects), m_scale(scale), m_grid(grid)
{
    const int s = scale;
    m_inside = QRect(QPoint(s * (grid.left() + 1), s * (grid.top() + 1)),
                     QPoint(s * (grid.right() - 1) - 1, s * (grid.bottom() - 1) - 1));
    for (int k = 1; k <= 11; ++k)
        m_verticalLines.push_back(DeviceUnits::verticalLine(s, grid.columnX(k), grid.top(), grid.bottom()));
    for (int r = 1; r <= 30; ++r)
        m_horizontalLines.push_back(DeviceUnits::horizontalLine(s, grid.left(), grid.right(), grid.rowY(r)));
    // A day row's share starts with the horizontal line above it.
    m_bandTop.push_back(s * grid.top());
    for (int r = 1; r <= 30; ++r)
        m_bandTop.push_back(m_horizontalLines[std::size_t(r - 1)].top());
    m_bandTop.push_back(s * grid.bottom());
}

void GridLines::paintFrame(const QColor& gridColour)
{
    const int s = m_scale;
    std::vector<bool> rowCovered(std::size_t(std::max(0, m_inside.height())), false);
    std::vector<bool> columnCovered(std::size_t(std::max(0, m_inside.width())), false);
    const auto cover = [](std::vector<bool>& covered, int origin, int from, int to) {
        from = std::max(from - origin, 0);
        to = std::min(to - origin, int(covered.size()));
        for (int i = from; i < to; ++i)
            covered[std::size_t(i)] = true;
    };
    for (int d = 0; d < 31; ++d) {
        const int y = s * m_grid.cellOrigin(0, d).y();
        cover(rowCovered, m_inside.top(), y, y + s * m_grid.cellHeight());
    }
    for (const QRect& line : m_horizontalLines)
        cover(rowCovered, m_inside.top(), line.top(), line.bottom() + 1);
    for (int m = 0; m < 12; ++m) {
        const int x = s * m_grid.cellOrigin(m, 0).x();
        cover(columnCovered, m_inside.left(), x, x + s * m_grid.cellWidth());
    }
    for (const QRect& line : m_verticalLines)
        cover(columnCovered, m_inside.left(), line.left(), line.right() + 1);

    for (int y = 0; y < int(rowCovered.size()); ++y)
        if (!rowCovered[std::size_t(y)])
            m_rects.fill(QRect(m_inside.left(), m_inside.top() + y, m_inside.width(), 1), kWhite);
    // Columns go with the day rows (paintBand), while those rows are in cache.
    for (int x = 0; x < int(columnCovered.size()); ++x)
        if (!columnCovered[std::size_t(x)])
            m_whiteColumns.emplace_back(m_inside.left() + x, m_inside.top(), 1, m_inside.height());
    // The outline: the rules' one-unit pen covers the logical pixels of left..right-1 and top..bottom-1.
    const int left = m_grid.left();
    const int top = m_grid.top();
    const int right = m_grid.right() - 1;
    const int bottom = m_grid.bottom() - 1;
    const QRect outline[] = {
        DeviceUnits::rect(s, QRect(QPoint(left, top), QPoint(right, top))),
        DeviceUnits::rect(s, QRect(QPoint(left, bottom), QPoint(right, bottom))),
        DeviceUnits::rect(s, QRect(QPoint(left, top), QPoint(left, bottom))),
        DeviceUnits::rect(s, QRect(QPoint(right, top), QPoint(right, bottom))),
    };
    for (const QRect& r : outline)
        m_rects.fill(r, gridColour);
}

// The day row's share of the frame's white columns and of the vertical lines, and the line above it.
void GridLines::paintBand(int d, const QColor& gridColour)
{
    const QRect band(QPoint(std::numeric_limits<int>::min() / 2, m_bandTop[std::size_t(d)]),
                     QPoint(std::numeric_limits<int>::max() / 2, m_bandTop[std::size_t(d) + 1] - 1));
    const auto fillParts = [&](const std::vector<QRect>& rects, const QColor& colour) {
        m_parts.clear();
        for (const QRect& r : rects) {
            const QRect part = r & band;
            if (!part.isEmpty())
                m_parts.push_back(part);
        }
        if (d > 0 && &rects == &m_verticalLines && !m_horizontalLines[std::size_t(d) - 1].isEmpty())
            m_parts.push_back(m_horizontalLines[std::size_t(d) - 1]);
        m_rects.fill(m_parts.data(), int(m_parts.size()), colour);
    };
    fillParts(m_whiteColumns, kWhite);
    fillParts(m_verticalLines, gridColour);
}

void GridLines::repaintOver(const QRect& device, const QColor& gridColour)
{
    for (const std::vector<QRect>* lines : {&m_verticalLines, &m_horizontalLines})
        for (const QRect& line : *lines) {
            const QRect part = line & device;
            if (!part.isEmpty())
                m_rects.fill(part, gridColour);
        }
}
