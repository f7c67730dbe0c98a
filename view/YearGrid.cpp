#include "YearGrid.h"

#include "DisplaySettings.h"

#include <algorithm>
#include <cmath>

namespace {

// The doubles nearest 1/12 and 1/31; the layout multiplies by them rather than dividing.
constexpr double kTwelfth = 0.08333333333333333;
constexpr double kThirtyFirst = 0.03225806451612903;

int held(qint64 v, int limit = YearGrid::kLimit)
{
    return int(std::clamp<qint64>(v, -limit, limit));
}

// Truncation toward zero of a value the limits keep well inside int.
int truncated(double v)
{
    return int(std::trunc(v));
}

int indexAt(double offset, double pitch, int last)
{
    const double q = offset / pitch;
    if (std::isnan(q))
        return -1;
    return int(std::clamp(std::trunc(q), -1.0, double(last)));
}

} // namespace

YearGrid::YearGrid(QSize extent, const DisplaySettings& s)
    : m_margin(held(s.m_nMargin)), m_top(held(s.m_nTop)), m_projectX(held(s.m_nProjectX)),
      m_projectPitch(held(s.m_nProjectPitch)), m_markerX(held(s.m_nMarkerX)), m_markerY(held(s.m_nMarkerY)),
      m_markerWidth(held(s.m_nMarkerWidth)), m_markerHeight(held(s.m_nMarkerHeight)),
      m_dayNumberX(held(s.m_nDayNumberX)), m_dayNumberY(held(s.m_nDayNumberY))
{
    const int width = held(extent.width(), kExtentLimit);
    const int height = held(extent.height(), kExtentLimit);
    const int gridWidth = width - 2 * m_margin;
    const int gridHeight = height - m_top - m_margin;
    m_cw = gridWidth * kTwelfth;
    m_rh = gridHeight * kThirtyFirst;
    m_cellWidth = truncated(m_cw);
    m_cellHeight = truncated(m_rh);
    m_right = m_margin + gridWidth;
    m_bottom = m_top + gridHeight;
}

int YearGrid::columnX(int m) const
{
    return truncated(m * m_cw) + m_margin;
}

int YearGrid::rowY(int d) const
{
    return truncated(d * m_rh) + m_top;
}

int YearGrid::columnAt(int x) const
{
    return indexAt(double(x) - m_margin, m_cw, 12);
}

int YearGrid::rowAt(int y) const
{
    return indexAt(double(y) - m_top, m_rh, 31);
}
