#include "PaintResources.h"

#include "CellTileCache.h"
#include "DayNumbers.h"
#include "DisplaySettings.h"
#include "LabelTexts.h"
#include "QtConversion.h"

#include <QFontMetrics>
#include <QPaintDevice>

struct PaintResources::Measured
{
    int devType;
    int dpiX;
    int dpiY;
    DayNumbers numbers;
    LabelTexts year;
    LabelTexts day;
    LabelTexts month;
};

PaintResources::PaintResources(const DisplaySettings& s)
    : m_gridPen(colorFromColorRef(s.m_crGrid), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin),
      m_yearFont(fontFromLogFont(s.m_lfYear)), m_dayFont(fontFromLogFont(s.m_lfDay)),
      m_monthFont(fontFromLogFont(s.m_lfMonth))
{
}

PaintResources::~PaintResources() = default;

PaintResources::Measured& PaintResources::measured(const QPaintDevice* device) const
{
    const int type = device ? device->devType() : 0;
    const int dpiX = device ? device->logicalDpiX() : 0;
    const int dpiY = device ? device->logicalDpiY() : 0;
    if (!m_measured || m_measured->devType != type || m_measured->dpiX != dpiX || m_measured->dpiY != dpiY)
        m_measured.reset(new Measured{
            type, dpiX, dpiY,
            DayNumbers(m_dayFont, QFontMetrics(m_dayFont, const_cast<QPaintDevice*>(device))),
            LabelTexts(m_yearFont, device), LabelTexts(m_dayFont, device), LabelTexts(m_monthFont, device)});
    return *m_measured;
}

const DayNumbers& PaintResources::dayNumbers(const QPaintDevice* device) const
{
    return measured(device).numbers;
}

LabelTexts& PaintResources::yearLabels(const QPaintDevice* device) const
{
    return measured(device).year;
}

LabelTexts& PaintResources::dayLabels(const QPaintDevice* device) const
{
    return measured(device).day;
}

LabelTexts& PaintResources::monthLabels(const QPaintDevice* device) const
{
    return measured(device).month;
}

CellTileCache& PaintResources::cellTiles() const
{
    if (!m_cellTiles)
        m_cellTiles = std::make_unique<CellTileCache>();
    return *m_cellTiles;
}
