#pragma once

#include <QImage>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class QPainter;

// The cell heads a view has drawn (see CellPatterns), kept with its paint resources so that later paints
// copy them instead of laying out their day numbers again. A tile's key holds everything its pixels
// depend on within one layout; a change of layout (scale, format, cell geometry) drops every tile.
class CellTileCache
{
public:
    struct Tile
    {
        const QImage* image = nullptr;
        int y = 0; // device row of the tile's top in image
    };

    CellTileCache();
    ~CellTileCache();
    CellTileCache(const CellTileCache&) = delete;
    CellTileCache& operator=(const CellTileCache&) = delete;

    void useLayout(const std::vector<int>& layout, int width, int height, qreal ratio, QImage::Format format);
    const Tile* find(const std::vector<std::uint32_t>& key) const;
    // A new tile for key; draw it with painter() in logical units, its top at y / ratio.
    Tile add(const std::vector<std::uint32_t>& key);
    QPainter& painter() { return *m_painter; }
    // Ends drawing, so that no painter stays open on a sheet between paints.
    void endPaint();

private:
    static constexpr int kTilesPerSheet = 32;
    static constexpr std::size_t kMaxTiles = 4096;

    std::vector<int> m_layout;
    int m_width = 0;
    int m_height = 0;
    qreal m_ratio = 1;
    QImage::Format m_format = QImage::Format_RGB32;
    // Sheets are added, never reallocated: tiles point into them.
    std::vector<std::unique_ptr<QImage>> m_sheets;
    int m_used = 0;
    std::unique_ptr<QPainter> m_painter;
    std::map<std::vector<std::uint32_t>, Tile> m_tiles;
};
