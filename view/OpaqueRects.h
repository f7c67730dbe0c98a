#pragma once

#include <QColor>
#include <QRect>

#include <cstdint>
#include <vector>

class QBrush;
class QImage;
class QPainter;

// Opaque rectangles in a painter's device units (a whole-pixel translation of the device), recorded in
// painting order and painted on flush(). On a plain 32-bit image that nothing clips, flush() writes the
// pixels itself, scanline by scanline: a pixel that several rectangles cover is overwritten while its row
// is in cache, and each row goes out to memory once. QPainter cannot do that for many small rectangles, and
// at 4K that costs as much as the whole surface again. Anywhere else the rectangles go through the
// painter in the order they came. Both give the picture of painting them in order, because every
// rectangle replaces what lies under it: fills are opaque colours, copies and textures come from images
// whose pixels are opaque.
class OpaqueRects
{
public:
    explicit OpaqueRects(QPainter& painter);

    void fill(const QRect& r, const QColor& colour);
    void fill(const QRect* rects, int count, const QColor& colour);
    // Images and brushes are read on flush and must live until then.
    // source's pixels from sourceTopLeft, one to one.
    void copy(const QRect& target, const QImage& source, QPoint sourceTopLeft);
    // A texture brush of one pixel row, its origin at device x originX.
    void texture(const QRect& target, const QBrush& brush, int originX);

    // Paints what was recorded, with the painter in the device units it was recorded in.
    void flush();
    // Whether the last flush that had anything to paint wrote the pixels itself.
    bool wroteDirectly() const { return m_wroteDirectly; }

private:
    enum class Kind : std::uint8_t { Fill, Copy, Texture };
    struct Op
    {
        QRect rect{};
        Kind kind = Kind::Fill;
        QColor colour{};
        const QImage* image = nullptr;
        const QBrush* brush = nullptr;
        QPoint source{}; // Copy: the source pixel at rect's top left; Texture: x is the brush origin
    };
    // One op's share of a run of rows, in the surface's pixels.
    struct Span
    {
        int x;
        int width;
        const std::uint32_t* source; // none for a fill
        qsizetype sourceStride;      // in pixels; 0 repeats one row
        int wrap;                    // a texture's width, whose row repeats across; 0 for none
        int wrapStart;               // where in that row the span starts
        std::uint32_t pixel;         // a fill's
        bool varies;                 // a copy's rows differ
    };
    struct Piece
    {
        int x;
        int width;
        int span;
    };
    struct Run
    {
        int x;
        int width;
        const std::uint32_t* source;
        qsizetype sourceStride; // in pixels
        std::uint32_t pixel;
        bool solid; // all of it that pixel
    };

    bool writeDirectly();
    void replay();
    Span spanAt(const Op& op, int y) const;
    void composeRuns();

    QPainter& m_painter;
    std::vector<Op> m_ops;
    bool m_opaque = true;
    bool m_wroteDirectly = false;
    QPoint m_offset; // from device units to the surface's pixels
    // Scratch of a direct write, kept between flushes.
    std::vector<int> m_order;
    std::vector<int> m_active;
    std::vector<Span> m_spans;
    std::vector<QRect> m_clipped;
    std::vector<std::pair<int, int>> m_covered;
    std::vector<Piece> m_pieces;
    std::vector<Run> m_runs;
    std::vector<std::uint32_t> m_row; // what fills and textures give, across the surface
};
