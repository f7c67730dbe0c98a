#include "CellTileCache.h"

#include <QPainter>

CellTileCache::CellTileCache() = default;

CellTileCache::~CellTileCache()
{
    endPaint();
}

void CellTileCache::useLayout(const std::vector<int>& layout, int width, int height, qreal ratio,
                              QImage::Format format)
{
    if (layout == m_layout && m_tiles.size() < kMaxTiles)
        return;
    endPaint();
    m_tiles.clear();
    m_sheets.clear();
    m_layout = layout;
    m_width = width;
    m_height = height;
    m_ratio = ratio;
    m_format = format;
}

const CellTileCache::Tile* CellTileCache::find(const std::vector<std::uint32_t>& key) const
{
    const auto found = m_tiles.find(key);
    return found == m_tiles.end() ? nullptr : &found->second;
}

CellTileCache::Tile CellTileCache::add(const std::vector<std::uint32_t>& key)
{
    if (m_sheets.empty() || m_used + m_height > m_sheets.back()->height()) {
        endPaint();
        m_sheets.push_back(std::make_unique<QImage>(m_width, m_height * kTilesPerSheet, m_format));
        m_sheets.back()->setDevicePixelRatio(m_ratio);
        m_used = 0;
    }
    if (!m_painter)
        m_painter = std::make_unique<QPainter>(m_sheets.back().get());
    const Tile tile{m_sheets.back().get(), m_used};
    m_used += m_height;
    m_tiles.emplace(key, tile);
    return tile;
}

void CellTileCache::endPaint()
{
    m_painter.reset();
}
