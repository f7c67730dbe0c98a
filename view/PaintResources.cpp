#include "PaintResources.h"

#include "DisplaySettings.h"
#include "QtConversion.h"

PaintResources::PaintResources(const DisplaySettings& s)
    : m_gridPen(colorFromColorRef(s.m_crGrid), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin),
      m_yearFont(fontFromLogFont(s.m_lfYear)), m_dayFont(fontFromLogFont(s.m_lfDay)),
      m_monthFont(fontFromLogFont(s.m_lfMonth))
{
}
