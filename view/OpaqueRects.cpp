#include "OpaqueRects.h"

#include <QBrush>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Offsets and rectangles beyond this are left to the painter, so that their sums stay inside int.
constexpr int kFar = 1 << 24;

// Short copies (cell heads, line widths) inline: a call into libc costs more than the copy.
void copyPixels(std::uint32_t* to, const std::uint32_t* from, int count)
{
    if (count < 4) {
        for (int i = 0; i < count; ++i)
            to[i] = from[i];
        return;
    }
    if (count <= 32) {
        // Four pixels (one vector move) at a time, the last four overlapping the others where count is
        // not a multiple.
        constexpr std::size_t kFour = 4 * sizeof(std::uint32_t);
        for (int i = 0; i + 4 <= count; i += 4)
            std::memcpy(to + i, from + i, kFour);
        std::memcpy(to + count - 4, from + count - 4, kFour);
        return;
    }
    std::memcpy(to, from, std::size_t(count) * sizeof(std::uint32_t));
}

// Plain vector stores: libc's memset takes bytes, and its memcpy moves long runs with rep movsb, which
// costs more here. Blocks of four pixels, or eight (AVX2) where the processor has them, as Qt's own fills.
typedef std::uint32_t FourPixels __attribute__((vector_size(16)));
typedef std::uint32_t EightPixels __attribute__((vector_size(32)));

template <typename Block>
[[gnu::always_inline]] inline void fillInBlocks(std::uint32_t* to, std::uint32_t pixel, int count)
{
    constexpr int lanes = int(sizeof(Block) / sizeof(std::uint32_t));
    Block block{};
    for (int k = 0; k < lanes; ++k)
        block[k] = pixel;
    int i = 0;
    for (; i + 4 * lanes <= count; i += 4 * lanes) {
        std::memcpy(to + i, &block, sizeof block);
        std::memcpy(to + i + lanes, &block, sizeof block);
        std::memcpy(to + i + 2 * lanes, &block, sizeof block);
        std::memcpy(to + i + 3 * lanes, &block, sizeof block);
    }
    for (; i + lanes <= count; i += lanes)
        std::memcpy(to + i, &block, sizeof block);
    for (; i < count; ++i)
        to[i] = pixel;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void fillPixelsAvx2(std::uint32_t* to, std::uint32_t pixel, int count)
{
    fillInBlocks<EightPixels>(to, pixel, count);
}
const bool kAvx2 = [] {
    __builtin_cpu_init(); // this may run before the library's own start-up has asked the processor
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

inline void fillPixels(std::uint32_t* to, std::uint32_t pixel, int count)
{
    if (count <= 4) {
        for (int i = 0; i < count; ++i)
            to[i] = pixel;
        return;
    }
#if defined(__x86_64__)
    if (kAvx2) {
        fillPixelsAvx2(to, pixel, count);
        return;
    }
#endif
    fillInBlocks<FourPixels>(to, pixel, count);
}

bool isSurfaceFormat(QImage::Format f)
{
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

OpaqueRects::OpaqueRects(QPainter& painter) : m_painter(painter) {}

void OpaqueRects::fill(const QRect& r, const QColor& colour)
{
    if (r.isEmpty())
        return;
    if (!colour.isValid() || colour.alpha() != 255)
        m_opaque = false;
    m_ops.push_back({.rect = r, .kind = Kind::Fill, .colour = colour});
}

void OpaqueRects::fill(const QRect* rects, int count, const QColor& colour)
{
    for (int i = 0; i < count; ++i)
        fill(rects[i], colour);
}

void OpaqueRects::copy(const QRect& target, const QImage& source, QPoint sourceTopLeft)
{
    if (target.isEmpty())
        return;
    m_ops.push_back({.rect = target, .kind = Kind::Copy, .image = &source, .source = sourceTopLeft});
}

void OpaqueRects::texture(const QRect& target, const QBrush& brush, int originX)
{
    if (target.isEmpty())
        return;
    m_ops.push_back({.rect = target, .kind = Kind::Texture, .brush = &brush, .source = QPoint(originX, 0)});
}

void OpaqueRects::flush()
{
    if (m_ops.empty())
        return;
    m_wroteDirectly = writeDirectly();
    if (!m_wroteDirectly)
        replay();
    m_ops.clear();
    m_opaque = true;
}

void OpaqueRects::replay()
{
    const QPen pen = m_painter.pen();
    const QBrush brush = m_painter.brush();
    const QPointF origin = m_painter.brushOrigin();
    m_painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < m_ops.size();) {
        const Op& op = m_ops[i];
        switch (op.kind) {
        case Kind::Fill: {
            // Consecutive fills of one colour in one call, as the painter's batch.
            m_clipped.clear();
            std::size_t j = i;
            for (; j < m_ops.size() && m_ops[j].kind == Kind::Fill && m_ops[j].colour == op.colour; ++j)
                m_clipped.push_back(m_ops[j].rect);
            m_painter.setBrush(op.colour);
            m_painter.drawRects(m_clipped.data(), int(m_clipped.size()));
            i = j;
            continue;
        }
        case Kind::Copy:
            m_painter.drawImage(op.rect, *op.image, QRect(op.source, op.rect.size()));
            break;
        case Kind::Texture:
            m_painter.setBrushOrigin(op.source);
            m_painter.fillRect(op.rect, *op.brush);
            break;
        }
        ++i;
    }
    m_painter.setPen(pen);
    m_painter.setBrush(brush);
    m_painter.setBrushOrigin(origin);
}

// The pixels straight into the image the painter paints on, where that gives the painter's own picture:
// a raster engine on a 32-bit image of the sources' format, no clip but at most one system rectangle, a
// whole-pixel translation, full opacity and a mode in which an opaque pixel replaces what lies under it.
bool OpaqueRects::writeDirectly()
{
    if (!m_opaque)
        return false;
    QPaintEngine* engine = m_painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    QImage& image = *static_cast<QImage*>(device);
    const QImage::Format format = image.format();
    // A shared image would be copied by bits(), away from the buffer the engine paints into.
    if (!isSurfaceFormat(format) || !image.isDetached())
        return false;
    if (m_painter.hasClipping() || m_painter.opacity() != 1.0 ||
        (m_painter.compositionMode() != QPainter::CompositionMode_SourceOver &&
         m_painter.compositionMode() != QPainter::CompositionMode_Source))
        return false;
    const QTransform t = m_painter.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()) ||
        std::abs(t.dx()) > kFar || std::abs(t.dy()) > kFar)
        return false;
    m_offset = QPoint(int(t.dx()), int(t.dy()));
    QRect allowed = image.rect();
    const QRegion systemClip = engine->systemClip();
    if (!systemClip.isEmpty()) {
        if (systemClip.rectCount() != 1)
            return false;
        allowed &= systemClip.boundingRect();
    }

    // Sources first, so that nothing is written unless all of it can be.
    m_clipped.clear();
    for (const Op& op : m_ops) {
        const QRect& r = op.rect;
        if (std::max({std::abs(r.left()), std::abs(r.top()), std::abs(r.right()), std::abs(r.bottom())}) >
            kFar)
            return false;
        m_clipped.push_back(r.translated(m_offset) & allowed);
        if (op.kind == Kind::Copy) {
            if (op.image->format() != format || !op.image->rect().contains(QRect(op.source, op.rect.size())))
                return false;
        } else if (op.kind == Kind::Texture) {
            const QImage texture = op.brush->textureImage();
            if (op.brush->style() != Qt::TexturePattern || texture.format() != format ||
                texture.height() != 1 || texture.width() < 1 || !op.brush->transform().isIdentity())
                return false;
        }
    }

    // A sweep down the rows: the ops that cover a run of rows, in their order, written row by row.
    const int count = int(m_ops.size());
    m_order.clear();
    for (int i = 0; i < count; ++i)
        if (!m_clipped[std::size_t(i)].isEmpty())
            m_order.push_back(i);
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        return m_clipped[std::size_t(a)].top() < m_clipped[std::size_t(b)].top();
    });
    uchar* const bits = image.bits();
    m_row.resize(std::size_t(image.width()));
    const qsizetype stride = image.bytesPerLine();
    m_active.clear();
    std::size_t next = 0;
    int y = std::numeric_limits<int>::min();
    while (next < m_order.size() || !m_active.empty()) {
        if (m_active.empty())
            y = std::max(y, m_clipped[std::size_t(m_order[next])].top());
        bool added = false;
        while (next < m_order.size() && m_clipped[std::size_t(m_order[next])].top() <= y) {
            m_active.push_back(m_order[next++]);
            added = true;
        }
        if (added)
            std::sort(m_active.begin(), m_active.end());
        int end = next < m_order.size() ? m_clipped[std::size_t(m_order[next])].top()
                                        : std::numeric_limits<int>::max();
        m_spans.clear();
        for (const int i : m_active) {
            end = std::min(end, m_clipped[std::size_t(i)].bottom() + 1);
            m_spans.push_back(spanAt(m_ops[std::size_t(i)], y));
        }
        composeRuns();
        for (; y < end; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(bits + qsizetype(y) * stride);
            for (Run& run : m_runs) {
                if (run.solid) {
                    fillPixels(row + run.x, run.pixel, run.width);
                    continue;
                }
                copyPixels(row + run.x, run.source, run.width);
                run.source += run.sourceStride;
            }
        }
        std::erase_if(m_active, [&](int i) { return m_clipped[std::size_t(i)].bottom() < y; });
    }
    return true;
}

// m_spans, each over those before it, as runs left to right that write each pixel once: what only a copy
// shows comes from its image row by row, the rest (fills, textures) is the same on every row of the run
// and comes from a row made once.
void OpaqueRects::composeRuns()
{
    // Front to back: a span shows where no later one covers it.
    m_covered.clear();
    m_pieces.clear();
    for (int k = int(m_spans.size()) - 1; k >= 0; --k) {
        const Span& s = m_spans[std::size_t(k)];
        const int a = s.x;
        const int b = s.x + s.width;
        auto first = std::lower_bound(m_covered.begin(), m_covered.end(), a,
                                      [](const std::pair<int, int>& c, int v) { return c.second < v; });
        int at = a;
        auto it = first;
        for (; it != m_covered.end() && it->first <= b; ++it) {
            if (it->first > at)
                m_pieces.push_back({at, std::min(it->first, b) - at, k});
            at = std::max(at, it->second);
        }
        if (at < b)
            m_pieces.push_back({at, b - at, k});
        // [a, b) joins the covered intervals it touches.
        int from = a;
        int to = b;
        if (first != it) {
            from = std::min(from, first->first);
            to = std::max(to, std::prev(it)->second);
        }
        const auto place = m_covered.erase(first, it);
        m_covered.insert(place, {from, to});
    }
    std::sort(m_pieces.begin(), m_pieces.end(), [](const Piece& p, const Piece& q) { return p.x < q.x; });

    m_runs.clear();
    for (const Piece& piece : m_pieces) {
        const Span& s = m_spans[std::size_t(piece.span)];
        const int offset = piece.x - s.x;
        if (s.varies) {
            m_runs.push_back({piece.x, piece.width, s.source + offset, s.sourceStride, 0, false});
            continue;
        }
        std::uint32_t* to = m_row.data() + piece.x;
        if (s.source) {
            int at = (s.wrapStart + offset) % s.wrap;
            for (int left = piece.width; left > 0;) {
                const int n = std::min(left, s.wrap - at);
                copyPixels(to, s.source + at, n);
                to += n;
                left -= n;
                at = 0;
            }
        }
        // Fills stay fills, which cost less than copies; one colour's neighbours join.
        const bool solid = !s.source;
        Run* last = m_runs.empty() ? nullptr : &m_runs.back();
        if (last && last->sourceStride == 0 && last->x + last->width == piece.x && last->solid == solid &&
            (!solid || last->pixel == s.pixel))
            last->width += piece.width;
        else
            m_runs.push_back({piece.x, piece.width, m_row.data() + piece.x, 0, s.pixel, solid});
    }
}

// Where op's pixels come from on surface row y, the first of a run in which its set of rows does not
// change; m_clipped holds its part of the surface.
OpaqueRects::Span OpaqueRects::spanAt(const Op& op, int y) const
{
    const QRect& r = m_clipped[std::size_t(&op - m_ops.data())];
    // The span's start in the painter's device units, where the op was given.
    const int x = r.left() - m_offset.x();
    Span s{r.left(), r.width(), nullptr, 0, 0, 0, 0, false};
    switch (op.kind) {
    case Kind::Fill:
        s.pixel = op.colour.rgba();
        break;
    case Kind::Copy: {
        const int sx = op.source.x() + (x - op.rect.left());
        const int sy = op.source.y() + (y - m_offset.y() - op.rect.top());
        s.source = reinterpret_cast<const std::uint32_t*>(op.image->constScanLine(sy)) + sx;
        s.sourceStride = op.image->bytesPerLine() / qsizetype(sizeof(std::uint32_t));
        s.varies = true;
        break;
    }
    case Kind::Texture: {
        const QImage texture = op.brush->textureImage();
        s.source = reinterpret_cast<const std::uint32_t*>(texture.constScanLine(0));
        s.wrap = texture.width();
        s.wrapStart = int(((qint64(x) - op.source.x()) % s.wrap + s.wrap) % s.wrap);
        break;
    }
    }
    return s;
}
