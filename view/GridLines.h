#pragma once

#include <QColor>
#include <QRect>

#include <vector>

class OpaqueRects;
class YearGrid;

// The frame's outline and the grid lines in device pixels at scale 1 or 2, and the strips of the frame's
// white inside that neither a cell nor a line covers. The cells paint day row by day row, and each row's
// share of the lines goes right after it (paintBand). Everything goes to the cells' rectangles, in device
// units.
class GridLines
{
public:
    GridLines(OpaqueRects& rects, int scale, const YearGrid& grid);

    // Device pixels inside the outline, which the frame leaves white.
    const QRect& inside() const { return m_inside; }

    // The outline, and the frame's white where no cell and no grid line will lie.
    void paintFrame(const QColor& gridColour);
    // Day row d's share of the white columns and of the vertical lines, and the horizontal line above it.
    void paintBand(int d, const QColor& gridColour);
    // The lines again inside `device`, where something painted after them may lie.
    void repaintOver(const QRect& device, const QColor& gridColour);

private:
    OpaqueRects& m_rects;
    const int m_scale;
    const YearGrid& m_grid;
    QRect m_inside;
    std::vector<QRect> m_verticalLines;   // top to bottom
    std::vector<QRect> m_horizontalLines; // rows 1..30
    std::vector<QRect> m_whiteColumns;    // the frame's inside between the cells
    std::vector<QRect> m_parts;
    std::vector<int> m_bandTop; // device row where each day row's share of the vertical lines begins
};
