#pragma once

#include <QFont>
#include <QPen>

#include <memory>

class CellTileCache;
class DayNumbers;
class LabelTexts;
class QPaintDevice;
struct DisplaySettings;

// The grid pen and the three fonts a view draws its years with. A view makes them once, from the settings
// of the first year it shows, and keeps them when it moves to other years; printing uses the view's own.
// Needs a QGuiApplication. Paints through one object must not run at the same time: it keeps what they
// measured and drew for the next paint.
class PaintResources
{
public:
    explicit PaintResources(const DisplaySettings& settings);
    ~PaintResources();
    PaintResources(const PaintResources&) = delete;
    PaintResources& operator=(const PaintResources&) = delete;

    // Solid, one unit wide (it scales with the painter, so a printed grid keeps its on-screen weight).
    const QPen& gridPen() const { return m_gridPen; }
    const QFont& yearFont() const { return m_yearFont; }
    const QFont& dayFont() const { return m_dayFont; }
    const QFont& monthFont() const { return m_monthFont; }
    // The day numbers measured in the day font for a device; kept while the view paints at the same
    // resolution, since measuring them is a good part of a paint's fixed cost.
    const DayNumbers& dayNumbers(const QPaintDevice* device) const;
    // The texts drawn in each of the three fonts, measured for a device; kept as the day numbers are.
    LabelTexts& yearLabels(const QPaintDevice* device) const;
    LabelTexts& dayLabels(const QPaintDevice* device) const;
    LabelTexts& monthLabels(const QPaintDevice* device) const;
    // Cell heads drawn by earlier paints of the view.
    CellTileCache& cellTiles() const;

private:
    QPen m_gridPen;
    QFont m_yearFont;
    QFont m_dayFont;
    QFont m_monthFont;
    struct Measured;
    Measured& measured(const QPaintDevice* device) const;
    mutable std::unique_ptr<Measured> m_measured;
    mutable std::unique_ptr<CellTileCache> m_cellTiles;
};
