#include "YearPainter.h"

#include "Calendar.h"
#include "PaintResources.h"
#include "QtConversion.h"
#include "TextCodec.h"
#include "YearData.h"
#include "YearGrid.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

CYearPainter s_defaultPainter;

const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

// Slots this far off any surface are skipped rather than turned into int rectangles.
constexpr qint64 kOffSurface = qint64(YearGrid::kLimit) * 8;

int truncated(double v)
{
    return int(std::trunc(v));
}

class PainterStateGuard
{
public:
    explicit PainterStateGuard(QPainter& painter) : m_painter(painter) { m_painter.save(); }
    ~PainterStateGuard() { m_painter.restore(); }
    PainterStateGuard(const PainterStateGuard&) = delete;
    PainterStateGuard& operator=(const PainterStateGuard&) = delete;

private:
    QPainter& m_painter;
};

// A solid fill; an empty or inverted rectangle fills nothing.
void fill(QPainter& painter, int x, int y, int width, int height, const QColor& colour)
{
    if (width > 0 && height > 0)
        painter.fillRect(QRect(x, y, width, height), colour);
}

// Text with its top-left corner at (x, y), on an opaque box of the background colour as wide as the text's
// advance and as high as the font's cell.
void drawBoxedText(QPainter& painter, const QFontMetrics& metrics, int x, int y, const QString& text,
                   const QColor& colour, const QColor& background)
{
    fill(painter, x, y, metrics.horizontalAdvance(text), metrics.height(), background);
    painter.setPen(colour);
    painter.drawText(x, y + metrics.ascent(), text);
}

// The outline in the grid colour over left..right-1, top..bottom-1, the inside white.
void drawFrame(QPainter& painter, const YearGrid& grid, const QColor& colour)
{
    const int width = grid.right() - grid.left();
    const int height = grid.bottom() - grid.top();
    if (width <= 0 || height <= 0)
        return;
    fill(painter, grid.left() + 1, grid.top() + 1, width - 2, height - 2, kWhite);
    fill(painter, grid.left(), grid.top(), width, 1, colour);
    fill(painter, grid.left(), grid.bottom() - 1, width, 1, colour);
    fill(painter, grid.left(), grid.top(), 1, height, colour);
    fill(painter, grid.right() - 1, grid.top(), 1, height, colour);
}

// The outline as the rules draw it, with the one-unit pen, the inside white.
void drawFrameWithPen(QPainter& painter, const YearGrid& grid, const QPen& pen)
{
    painter.setPen(pen);
    painter.setBrush(kWhite);
    painter.drawRect(
        QRect(grid.left(), grid.top(), grid.right() - grid.left() - 1, grid.bottom() - grid.top() - 1));
    painter.setBrush(Qt::NoBrush);
}

// "01" to "31" laid out once per paint.
struct DayNumbers
{
    std::array<QStaticText, 31> text;
    std::array<int, 31> width{};
    int maxWidth = 0;
    QRect ink; // union of the glyphs' bounds, relative to the top-left corner of the text

    DayNumbers(const QFont& font, const QFontMetrics& metrics, const QTransform& transform)
    {
        for (int i = 0; i < 31; ++i) {
            const QString s = QString::asprintf("%02d", i + 1);
            text[std::size_t(i)] = QStaticText(s);
            text[std::size_t(i)].setTextFormat(Qt::PlainText);
            text[std::size_t(i)].prepare(transform, font);
            width[std::size_t(i)] = metrics.horizontalAdvance(s);
            maxWidth = std::max(maxWidth, width[std::size_t(i)]);
            ink |= metrics.boundingRect(s).translated(0, metrics.ascent());
        }
    }
};

// The whole device pixels per logical unit when the painter maps logical units onto the device by 1 or 2
// and whole-pixel offsets; 0 otherwise (printers, fractional screen scales, rotations).
int wholeDeviceScale(const QPainter& painter)
{
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() != t.m22() || (t.m11() != 1 && t.m11() != 2))
        return 0;
    if (t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()) || std::abs(t.dx()) > YearGrid::kLimit ||
        std::abs(t.dy()) > YearGrid::kLimit)
        return 0;
    if (painter.paintEngine() == nullptr || painter.paintEngine()->type() != QPaintEngine::Raster)
        return 0;
    return int(t.m11());
}

// Where the rules' one-unit pen puts a line, in device pixels at scale 1 or 2: a line covers its logical
// pixels at scale 1, and at scale 2 the two device pixels centred on the logical coordinate (the half
// unit either side), over [from, to) along the line.
QRect deviceVerticalLine(int scale, int x, int y0, int y1)
{
    return scale == 1 ? QRect(x, y0, 1, y1 - y0) : QRect(2 * x - 1, 2 * y0, 2, 2 * (y1 - y0));
}

QRect deviceHorizontalLine(int scale, int x0, int x1, int y)
{
    return scale == 1 ? QRect(x0, y, x1 - x0, 1) : QRect(2 * x0, 2 * y - 1, 2 * (x1 - x0), 2);
}

QRect deviceRect(int scale, int x, int y, int width, int height)
{
    return {scale * x, scale * y, scale * width, scale * height};
}

// Switches a painter between its logical units and plain device pixels, where rectangles take Qt's fastest
// paths (no per-rectangle path for the HiDPI scale) and images copy one to one.
class DeviceUnits
{
public:
    explicit DeviceUnits(QPainter& painter)
        : m_painter(painter), m_logical(painter.worldTransform()),
          m_device(QTransform::fromTranslate(painter.deviceTransform().dx(), painter.deviceTransform().dy()))
    {
        // world * hidpi = device, so world' = translation * hidpi^-1 = translation * device^-1 * world.
        m_deviceWorld = m_device * painter.deviceTransform().inverted() * m_logical;
    }

    // Whether the switch lands exactly on whole device pixels; checked once before painting.
    bool exact()
    {
        device();
        const bool ok = m_painter.deviceTransform() == m_device;
        logical();
        return ok;
    }
    void device() { m_painter.setWorldTransform(m_deviceWorld); }
    void logical() { m_painter.setWorldTransform(m_logical); }

private:
    QPainter& m_painter;
    QTransform m_logical;
    QTransform m_device;
    QTransform m_deviceWorld;
};

// The year painted in device pixels at scale 1 or 2, for the usual layouts, where everything a cell shows
// stays inside its own cell: its fill, markers, number and project strokes never reach another cell, and
// the year label stays above the grid. The picture is that of the rules' cell order; what changes is how
// the pixels get there:
// - every cell is filled (a plain cell with the white of the frame's inside), so the frame paints only its
//   outline and the thin strips that no cell covers, and no pixel is filled twice;
// - a cell's project slots right of its number and markers form a pattern of two kinds of pixel row (lines
//   only, lines and marks) on the cell's colour; each distinct pattern is drawn once into a scratch image
//   and copied into the cells as texture rows, instead of one span per slot and pixel row;
// - the slots left of that area and the line ends below the cell are drawn project by project after the
//   day numbers, which all go in one pass in logical units. Nothing else lies on those pixels.
// A list too short for a day raises where the rules raise; the cells before then stand complete.
class CellPatterns
{
public:
    struct Layout
    {
        bool markers = false;
        bool redDays = false;
        bool projects = false;
        const DayNumbers* numbers = nullptr;
        int numberHeight = 0;
        int numberAscent = 0;
    };

    static bool applies(const YearGrid& grid, const Layout& layout, const QRect& yearLabelInk)
    {
        constexpr int kMaxExtent = 1 << 15;
        if (grid.left() < 0 || grid.top() < 0 || grid.right() > kMaxExtent || grid.bottom() > kMaxExtent ||
            grid.right() - grid.left() < 2 || grid.bottom() - grid.top() < 2 || grid.cellWidth() < 1 ||
            grid.cellHeight() < 1 || grid.columnWidth() > kMaxExtent || grid.rowHeight() > kMaxExtent)
            return false;
        if (yearLabelInk.bottom() >= grid.top())
            return false;
        const qint64 cellWidth = grid.cellWidth();
        const qint64 cellHeight = grid.cellHeight();
        if (layout.markers && grid.markerWidth() > 0 && grid.markerHeight() > 0 &&
            (grid.markerX() < 0 || grid.markerY() < 0 ||
             qint64(grid.markerX()) + grid.markerWidth() > cellWidth ||
             qint64(grid.markerY()) + 2 * qint64(grid.markerHeight()) + 1 > cellHeight))
            return false;
        if (const DayNumbers* n = layout.numbers) {
            const QRect ink = n->ink;
            if (grid.dayNumberX() < 0 || grid.dayNumberY() < 0 ||
                qint64(grid.dayNumberX()) + n->maxWidth > cellWidth ||
                qint64(grid.dayNumberY()) + layout.numberHeight > cellHeight ||
                qint64(grid.dayNumberX()) + ink.left() < 0 || qint64(grid.dayNumberY()) + ink.top() < 0 ||
                qint64(grid.dayNumberX()) + ink.right() >= cellWidth ||
                qint64(grid.dayNumberY()) + ink.bottom() >= cellHeight)
                return false;
        }
        if (layout.projects &&
            (grid.projectX() < 1 || grid.projectPitch() < 0 ||
             2 * qint64(grid.projectPitch()) + 1 > cellHeight || grid.projectX() > cellWidth))
            return false;
        return true;
    }

    CellPatterns(QPainter& painter, DeviceUnits& units, int scale, const YearGrid& grid, const Layout& layout,
                 const DisplaySettings& settings, const YearData& lists)
        : m_painter(painter), m_units(units), m_scale(scale), m_grid(grid), m_layout(layout),
          m_settings(settings), m_lists(lists), m_shownYear(settings.m_stSelected.wYear)
    {
        // Left edge of the pattern area: right of the day number's box and ink and of the markers.
        int clean = grid.projectX();
        if (layout.markers && grid.markerWidth() > 0 && grid.markerHeight() > 0)
            clean = std::max(clean, grid.markerX() + grid.markerWidth());
        if (const DayNumbers* n = layout.numbers)
            clean =
                std::max({clean, grid.dayNumberX() + n->maxWidth, grid.dayNumberX() + n->ink.right() + 2});
        const int half = scale / 2;
        m_inside =
            QRect(QPoint(scale * grid.left() + (scale + 1) / 2, scale * grid.top() + (scale + 1) / 2),
                  QPoint(scale * (grid.right() - 1) - half - 1, scale * (grid.bottom() - 1) - half - 1));
        m_patternLeft = scale * std::min(clean, grid.cellWidth());
        m_patternWidth = scale * grid.cellWidth() - m_patternLeft;
        if (layout.projects) {
            const qsizetype count = lists.m_projects.count();
            m_periods.reserve(std::size_t(count));
            for (const ProjectRecord& p : lists.m_projects) {
                Period period;
                if (p.m_bLongLine && p.m_stEnd.wYear >= 1900) {
                    period.from = p.m_stStart.wYear < 1900 ? std::numeric_limits<qint64>::min()
                                                           : Calendar::serialSeconds(p.m_stStart);
                    period.to = Calendar::serialSeconds(p.m_stEnd);
                }
                m_periods.push_back(period);
            }
            m_edgeStrokes.resize(std::size_t(count));
        }
    }

    // The cells; returns the text background they leave. Raises InvalidArgument from a list too short for
    // a day, after completing what the rules had drawn by then.
    QColor paintCells(QColor background)
    {
        m_units.device();
        const QColor cellBackground = colorFromColorRef(m_settings.m_crBackground);
        const QColor noDayColour = colorFromColorRef(m_settings.m_crNoDay);
        const QColor weekendColour = colorFromColorRef(m_settings.m_crSunday);
        const QColor selectedColour = colorFromColorRef(m_settings.m_crSelected);
        int cell = 0;
        try {
            for (int m = 0; m < 12; ++m) {
                for (int d = 0; d < 31; ++d, ++cell) {
                    const int month = m + 1;
                    const int day = d + 1;
                    const QRect fill = m_grid.cellFill(m, d);
                    if (!Calendar::isValidDate(m_shownYear, month, day)) {
                        fillDevice(fill, noDayColour);
                        background = cellBackground;
                        continue;
                    }
                    QColor colour = kWhite; // the frame's inside
                    bool plain = true;
                    const int weekday = Calendar::dayOfWeek(m_shownYear, month, day);
                    if (m_settings.m_bShowSundays && (weekday == 0 || weekday == 6)) {
                        colour = background = weekendColour;
                        plain = false;
                    }
                    if (month == m_settings.m_stSelected.wMonth && day == m_settings.m_stSelected.wDay) {
                        colour = background = selectedColour;
                        plain = false;
                    }
                    paintCell(fill, m, d, colour, plain, background);
                    background = cellBackground;
                }
            }
        } catch (...) {
            finishAfterError(cell);
            throw;
        }
        finish();
        return background;
    }

private:
    struct Period
    {
        qint64 from = 0; // empty unless the project has a long line
        qint64 to = -1;
    };
    struct NumberText
    {
        QPoint at;
        int day;
        bool red;
    };
    struct Pattern
    {
        QBrush lines;
        QBrush marks;
    };
    struct EdgeStrokes
    {
        std::vector<QRect> lines;
        std::vector<QRect> marks;
    };

    void fillDevice(const QRect& logical, const QColor& colour)
    {
        if (logical.width() > 0 && logical.height() > 0)
            m_painter.fillRect(
                deviceRect(m_scale, logical.x(), logical.y(), logical.width(), logical.height()), colour);
    }

public:
    // The outline, and the strips of the frame's white inside that no cell fill covers.
    void paintFrame(const QPen& gridPen)
    {
        // The inside is white over left..right-2, top..bottom-2 (the outline then lies on its edges); the
        // cells fill most of it themselves.
        const QRect inside(m_grid.left(), m_grid.top(), m_grid.right() - 1 - m_grid.left(),
                           m_grid.bottom() - 1 - m_grid.top());
        std::vector<bool> rowCovered(std::size_t(inside.height()), false);
        std::vector<bool> columnCovered(std::size_t(inside.width()), false);
        for (int d = 0; d < 31; ++d) {
            const int from = std::max(m_grid.rowY(d) + 1, inside.top());
            const int to = std::min(m_grid.rowY(d) + 1 + m_grid.cellHeight(), inside.bottom() + 1);
            for (int y = from; y < to; ++y)
                rowCovered[std::size_t(y - inside.top())] = true;
        }
        for (int m = 0; m < 12; ++m) {
            const int from = std::max(m_grid.columnX(m) + 1, inside.left());
            const int to = std::min(m_grid.columnX(m) + 1 + m_grid.cellWidth(), inside.right() + 1);
            for (int x = from; x < to; ++x)
                columnCovered[std::size_t(x - inside.left())] = true;
        }
        m_units.device();
        for (int y = 0; y < inside.height(); ++y)
            if (!rowCovered[std::size_t(y)])
                fillDevice(QRect(inside.left(), inside.top() + y, inside.width(), 1), kWhite);
        for (int x = 0; x < inside.width(); ++x)
            if (!columnCovered[std::size_t(x)])
                fillDevice(QRect(inside.left() + x, inside.top(), 1, inside.height()), kWhite);
        m_units.logical();
        // The outline exactly as the rules' pen draws it at any scale.
        m_painter.setPen(gridPen);
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawRect(inside);
        m_painter.setPen(Qt::NoPen);
    }

private:
    // Fills `outer` but not `hole` (a part of it, or empty).
    void fillAround(const QRect& outer, const QRect& hole, const QColor& colour)
    {
        if (outer.isEmpty())
            return;
        if (hole.isEmpty()) {
            m_painter.fillRect(outer, colour);
            return;
        }
        const QRect parts[] = {
            QRect(QPoint(outer.left(), outer.top()), QPoint(outer.right(), hole.top() - 1)),
            QRect(QPoint(outer.left(), hole.bottom() + 1), QPoint(outer.right(), outer.bottom())),
            QRect(QPoint(outer.left(), hole.top()), QPoint(hole.left() - 1, hole.bottom())),
            QRect(QPoint(hole.right() + 1, hole.top()), QPoint(outer.right(), hole.bottom())),
        };
        for (const QRect& r : parts)
            if (!r.isEmpty())
                m_painter.fillRect(r, colour);
    }

    void paintCell(const QRect& fill, int m, int d, const QColor& colour, bool plain,
                   const QColor& background)
    {
        const int x = fill.x();
        const int y = fill.y();
        const QRect device = deviceRect(m_scale, x, y, fill.width(), fill.height());
        // A plain cell shows the frame's white inside, which does not reach under the outline.
        const QRect base = plain ? device & m_inside : device;
        QRect area;
        if (m_layout.projects && m_patternWidth > 0)
            area = QRect(device.x() + m_patternLeft, device.y(), m_patternWidth, device.height()) & m_inside;
        fillAround(base, area, colour);
        m_pendingPattern = area; // the pattern brings the cell's colour there
        m_pendingColour = colour;
        if (m_grid.columnWidth() > 15 && m_grid.rowHeight() > 10) {
            const int n = Calendar::dayOfYear(m_shownYear, m + 1, d + 1);
            if (m_layout.markers && !m_lists.m_memos.at(n).isEmpty())
                fillDevice(m_grid.memoMarker().translated(x, y), kBlue);
            const bool red = m_layout.redDays && !m_lists.m_redTexts.at(n).isEmpty();
            if (m_layout.markers && !m_lists.m_alarmTexts.at(n).isEmpty())
                fillDevice(m_grid.alarmMarker().translated(x, y), kRed);
            if (const DayNumbers* numbers = m_layout.numbers) {
                const QPoint at(x + m_grid.dayNumberX(), y + m_grid.dayNumberY());
                fillDevice(QRect(at, QSize(numbers->width[std::size_t(d)], m_layout.numberHeight)),
                           background);
                m_texts.push_back({at, d, red});
            }
        }
        if (m_layout.projects)
            paintProjects(fill, device, area, m + 1, d + 1, colour);
        m_pendingPattern = QRect();
    }

    void paintProjects(const QRect& fill, const QRect& device, const QRect& area, int month, int day,
                       const QColor& colour)
    {
        const DayMarkRecord& marks = m_lists.m_dayMarks.at(Calendar::dayOfYear(m_shownYear, month, day));
        const int x = fill.x();
        const int y = fill.y();
        const int pitch = m_grid.projectPitch();
        const int s = m_scale;
        const qint64 lineLimit = truncated(x + m_grid.columnWidth());
        const qint64 markLimit = truncated(x + m_grid.columnWidth() - pitch);
        const int lineEnd = truncated(y + m_grid.rowHeight()); // the end point is not drawn
        const int fillEnd = y + fill.height();
        const qint64 midnight = Calendar::dayNumber(m_shownYear, month, day) * 86400;

        m_key.assign(1, colour.rgb());
        const qsizetype count = m_lists.m_projects.count();
        for (qsizetype i = 0; i < count; ++i) {
            const qint64 px = qint64(x) + m_grid.projectX() + i * pitch;
            if (pitch > 0 && px >= lineLimit && px >= markLimit)
                break; // every later slot lies further right
            const Period& period = m_periods[std::size_t(i)];
            const bool line =
                px < lineLimit && lineEnd > y && period.from <= midnight && midnight <= period.to;
            const bool mark =
                i < DayMarkRecord::kMaxProjects && marks.m_bChecked[i] && px < markLimit && pitch > 1;
            if (!line && !mark)
                continue;
            const QRect lineRect = deviceVerticalLine(s, int(px), y, std::min(lineEnd, fillEnd));
            const QRect markRect = deviceRect(s, int(px), y + 1, pitch - 1, 2 * pitch);
            EdgeStrokes& edge = m_edgeStrokes[std::size_t(i)];
            if (line && lineEnd > fillEnd)
                edge.lines.push_back(deviceVerticalLine(s, int(px), fillEnd, lineEnd));
            const bool inPattern = !area.isEmpty() && (!line || area.contains(lineRect)) &&
                                   (!mark || area.contains(markRect)) &&
                                   (line ? lineRect.left() : markRect.left()) >= device.x() + m_patternLeft;
            if (!inPattern) {
                if (line)
                    edge.lines.push_back(lineRect);
                if (mark)
                    edge.marks.push_back(markRect);
                continue;
            }
            m_key.push_back(quint32(i) << 2 | (line ? 1u : 0u) | (mark ? 2u : 0u));
        }
        if (area.isEmpty())
            return;
        if (m_key.size() == 1) { // no slot drawn in the area: just the cell's colour
            m_painter.fillRect(area, colour);
            return;
        }
        const Pattern& pattern = patternFor(device.x() + m_patternLeft, x);
        const int marksTop = std::clamp(s * (y + 1), area.top(), area.bottom() + 1);
        const int marksBottom = std::clamp(s * (y + 1 + 2 * pitch), marksTop, area.bottom() + 1);
        m_painter.setBrushOrigin(device.x() + m_patternLeft, 0);
        const auto rows = [&](int from, int to, const QBrush& brush) {
            if (to > from)
                m_painter.fillRect(QRect(area.left(), from, area.width(), to - from), brush);
        };
        if (pitch > 1) {
            rows(area.top(), marksTop, pattern.lines);
            rows(marksTop, marksBottom, pattern.marks);
            rows(marksBottom, area.bottom() + 1, pattern.lines);
        } else {
            rows(area.top(), area.bottom() + 1, pattern.lines);
        }
    }

    // The two texture rows (lines only; lines and marks) of the pattern in m_key, drawn into the scratch
    // images when first seen. `left` is the device x of the pattern area in the cell at logical x.
    const Pattern& patternFor(int left, int x)
    {
        const auto found = m_patterns.find(m_key);
        if (found != m_patterns.end())
            return found->second;
        constexpr int kRowsPerImage = 64;
        if (m_scratchImages.empty() || m_scratchRow + 2 > kRowsPerImage) {
            // Images are added, never reallocated: earlier patterns' brushes point into them.
            m_scratchPainter.reset();
            m_scratchImages.emplace_back(m_patternWidth, kRowsPerImage, QImage::Format_RGB32);
            m_scratchPainter = std::make_unique<QPainter>(&m_scratchImages.back());
            m_scratchRow = 0;
        }
        QPainter& p = *m_scratchPainter;
        const int r = m_scratchRow;
        m_scratchRow += 2;
        p.fillRect(QRect(0, r, m_patternWidth, 2), QColor::fromRgb(m_key[0]));
        const int s = m_scale;
        const int pitch = m_grid.projectPitch();
        for (std::size_t k = 1; k < m_key.size(); ++k) {
            const qsizetype i = qsizetype(m_key[k] >> 2);
            const QColor c = colorFromColorRef(m_lists.m_projects.at(i).m_crColor);
            const int px = x + m_grid.projectX() + int(i) * pitch;
            if (m_key[k] & 1u) {
                const QRect line = deviceVerticalLine(s, px, 0, 1);
                p.fillRect(QRect(line.left() - left, r, line.width(), 2), c);
            }
            if (m_key[k] & 2u)
                p.fillRect(QRect(s * px - left, r + 1, s * (pitch - 1), 1), c);
        }
        const QImage& image = m_scratchImages.back();
        const uchar* bits = image.constBits();
        const qsizetype stride = image.bytesPerLine();
        Pattern pattern;
        pattern.lines = QBrush(QImage(bits + r * stride, m_patternWidth, 1, stride, QImage::Format_RGB32));
        pattern.marks =
            QBrush(QImage(bits + (r + 1) * stride, m_patternWidth, 1, stride, QImage::Format_RGB32));
        return m_patterns.emplace(m_key, std::move(pattern)).first->second;
    }

    void paintNumbers()
    {
        if (m_texts.empty())
            return;
        m_units.logical();
        for (const NumberText& t : m_texts) {
            m_painter.setPen(t.red ? kRed : kBlack);
            // Laid-out static text places glyphs apart from drawText by a device pixel at the HiDPI scale.
            if (m_scale == 1)
                m_painter.drawStaticText(t.at, m_layout.numbers->text[std::size_t(t.day)]);
            else
                m_painter.drawText(t.at + QPoint(0, m_layout.numberAscent),
                                   QString::asprintf("%02d", t.day + 1));
        }
        m_painter.setPen(Qt::NoPen);
        m_units.device();
    }

    void paintEdgeStrokes()
    {
        m_painter.setPen(Qt::NoPen);
        for (std::size_t i = 0; i < m_edgeStrokes.size(); ++i) {
            EdgeStrokes& e = m_edgeStrokes[i];
            if (e.lines.empty() && e.marks.empty())
                continue;
            const QColor c = colorFromColorRef(m_lists.m_projects.at(qsizetype(i)).m_crColor);
            for (const QRect& r : e.lines)
                m_painter.fillRect(r, c);
            for (const QRect& r : e.marks)
                m_painter.fillRect(r, c);
        }
    }

    void finish()
    {
        paintNumbers();
        paintEdgeStrokes();
        m_units.logical();
    }

    // The rules stop at the failing cell: it keeps what it had, the cells after it show the frame's inside.
    void finishAfterError(int failedCell)
    {
        if (!m_pendingPattern.isEmpty())
            m_painter.fillRect(m_pendingPattern, m_pendingColour);
        for (int cell = failedCell + 1; cell < 12 * 31; ++cell) {
            const QRect fill = m_grid.cellFill(cell / 31, cell % 31);
            const QRect inside =
                deviceRect(m_scale, fill.x(), fill.y(), fill.width(), fill.height()) & m_inside;
            if (!inside.isEmpty())
                m_painter.fillRect(inside, kWhite);
        }
        finish();
    }

    QPainter& m_painter;
    DeviceUnits& m_units;
    const int m_scale;
    const YearGrid& m_grid;
    const Layout m_layout;
    const DisplaySettings& m_settings;
    const YearData& m_lists;
    const int m_shownYear;
    int m_patternLeft = 0;  // device pixels from the cell origin
    int m_patternWidth = 0; // device pixels
    std::vector<Period> m_periods;
    std::vector<EdgeStrokes> m_edgeStrokes; // by project
    std::vector<NumberText> m_texts;
    std::vector<quint32> m_key; // the cell's colour, then slot << 2 | line | mark << 1
    std::map<std::vector<quint32>, Pattern> m_patterns;
    std::vector<QImage> m_scratchImages;
    std::unique_ptr<QPainter> m_scratchPainter;
    int m_scratchRow = 0;
    QRect m_inside;         // device pixels left white by the frame's outline
    QRect m_pendingPattern; // device pixels of the current cell's pattern area before it is drawn
    QColor m_pendingColour;
};

} // namespace

CYearPainter* g_pYearPainter = &s_defaultPainter;

// Long lines and marks of the projects, collected per project so that each project's colour is set once.
// When nothing painted later in cell order reaches into a cell's area (see canWait), the strokes wait until
// every cell is painted: a project's lines on consecutive days join into one run (the rows they then cross
// are grid rows, painted over at the end), and the strokes are drawn in bands of a few day rows, project by
// project within a band. Strokes of different bands never share a pixel, so this is the picture of drawing
// them project by project, and a band's pixels stay in cache. Otherwise the strokes are flushed after each
// cell, which is exactly the painting order cell by cell.
class CYearPainter::ProjectStrokes
{
public:
    static constexpr int kRowsPerBand = 4;

    // penLines: lines drawn with the rules' one-unit pen (where a rectangle would not give its pixels).
    ProjectStrokes(const RecordList<ProjectRecord>& projects, bool wait, bool penLines)
        : m_projects(projects), m_wait(wait), m_penLines(penLines),
          m_bands(wait ? (31 + kRowsPerBand - 1) / kRowsPerBand : 1)
    {
        // Calendar::periodCoversDay with the period's ends turned into seconds once per paint.
        m_periods.reserve(std::size_t(projects.count()));
        for (const ProjectRecord& p : projects) {
            Period period;
            if (p.m_bLongLine && p.m_stEnd.wYear >= 1900) {
                period.from = p.m_stStart.wYear < 1900 ? std::numeric_limits<qint64>::min()
                                                       : Calendar::serialSeconds(p.m_stStart);
                period.to = Calendar::serialSeconds(p.m_stEnd);
            }
            m_periods.push_back(period);
        }
    }

    // Whether project i has a long line through the day that begins at this midnight (serial seconds).
    bool hasLineAt(qsizetype i, qint64 midnight) const
    {
        const Period& p = m_periods[std::size_t(i)];
        return p.from <= midnight && midnight <= p.to;
    }

    static bool canWait(const YearGrid& grid, bool markers, const DayNumbers* numbers)
    {
        if (grid.left() < 0 || grid.top() < 0 || grid.projectX() < 0 || grid.projectPitch() < 0)
            return false;
        if (2 * qint64(grid.projectPitch()) + 1 > grid.cellHeight())
            return false; // marks would reach into the cell below
        if (markers && (grid.markerX() < 0 || grid.markerY() < 0))
            return false;
        if (numbers &&
            (grid.dayNumberX() < 0 || grid.dayNumberY() < 0 || grid.dayNumberX() + numbers->ink.left() < 0 ||
             grid.dayNumberY() + numbers->ink.top() < 0))
            return false;
        return true;
    }

    void addLine(qsizetype project, int column, int day, const QRect& line)
    {
        Strokes& s = strokes(day, project);
        s.lines.push_back({line, !s.lines.empty() && s.lastColumn == column && s.lastDay == day - 1});
        s.lastColumn = column;
        s.lastDay = day;
    }

    void addMark(int day, qsizetype project, const QRect& mark)
    {
        strokes(day, project).marks.push_back(mark);
    }

    void cellDone(QPainter& painter)
    {
        if (!m_wait)
            flush(painter, false);
    }

    // Band by band; within a band project by project in list order, each project's lines before its marks,
    // as one cell paints them. Joined, a project's lines on consecutive days become one run over the grid
    // row between them, which only the grid lines painted afterwards make right: a paint that stops early
    // draws them apart.
    void flush(QPainter& painter, bool join)
    {
        painter.setPen(Qt::NoPen);
        for (Band& band : m_bands) {
            std::sort(band.touched.begin(), band.touched.end());
            for (const qsizetype i : band.touched) {
                Strokes& s = band.strokes[std::size_t(i)];
                const QColor colour = colorFromColorRef(m_projects.at(i).m_crColor);
                m_runs.clear();
                for (const Line& line : s.lines) {
                    if (join && line.continuesAbove && !m_runs.empty())
                        m_runs.back().setBottom(line.rect.bottom());
                    else
                        m_runs.push_back(line.rect);
                }
                if (m_penLines) {
                    painter.setPen(QPen(colour, 1, Qt::SolidLine, Qt::FlatCap));
                    for (const QRect& r : m_runs)
                        painter.drawLine(QPoint(r.x(), r.y()), QPoint(r.x(), r.y() + r.height()));
                    painter.setPen(Qt::NoPen);
                    for (const QRect& r : s.marks)
                        painter.fillRect(r, colour);
                } else {
                    painter.setBrush(colour);
                    painter.drawRects(m_runs.data(), int(m_runs.size()));
                    painter.drawRects(s.marks.data(), int(s.marks.size()));
                }
                s.lines.clear();
                s.marks.clear();
                s.lastColumn = -1;
            }
            band.touched.clear();
        }
        painter.setBrush(Qt::NoBrush);
    }

private:
    struct Line
    {
        QRect rect;
        bool continuesAbove; // the same column's line of the day before is the one listed before it
    };
    struct Strokes
    {
        std::vector<Line> lines;
        std::vector<QRect> marks;
        int lastColumn = -1;
        int lastDay = -1;
    };
    struct Period
    {
        qint64 from = 0; // empty unless the project has a long line
        qint64 to = -1;
    };
    struct Band
    {
        std::vector<Strokes> strokes; // by project position
        std::vector<qsizetype> touched;
    };

    Strokes& strokes(int day, qsizetype project)
    {
        Band& band = m_bands[m_wait ? std::size_t((day - 1) / kRowsPerBand) : 0];
        if (std::size_t(project) >= band.strokes.size())
            band.strokes.resize(std::size_t(project) + 1);
        Strokes& s = band.strokes[std::size_t(project)];
        if (s.lines.empty() && s.marks.empty())
            band.touched.push_back(project);
        return s;
    }

    const RecordList<ProjectRecord>& m_projects;
    const bool m_wait;
    const bool m_penLines;
    std::vector<Period> m_periods;
    std::vector<Band> m_bands;
    std::vector<QRect> m_runs;
};

void CYearPainter::PaintYear(QPainter& painter, QSize extent, const YearData& year,
                             const PaintResources& resources) const
{
    PaintYear(painter, extent, year.m_settings, year, resources);
}

void CYearPainter::PaintYear(QPainter& painter, QSize extent, const DisplaySettings& s, const YearData& year,
                             const PaintResources& resources) const
{
    const PainterStateGuard guard(painter);
    const YearGrid grid(extent, s);
    const int shownYear = s.m_stSelected.wYear;
    const double cw = grid.columnWidth();
    const double rh = grid.rowHeight();

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setBrush(Qt::NoBrush);
    // Text stands on the colour of the last solid fill; before any fill, on the surface's own background.
    QColor background = painter.background().color();
    const QColor gridColour = resources.gridPen().color();
    const QColor cellBackground = colorFromColorRef(s.m_crBackground);
    const QColor noDayColour = colorFromColorRef(s.m_crNoDay);
    const QColor weekendColour = colorFromColorRef(s.m_crSunday);
    const QColor selectedColour = colorFromColorRef(s.m_crSelected);
    const QColor monthColour = colorFromColorRef(s.m_crMonth);

    painter.setFont(resources.dayFont());
    // Text boxes are measured for the device painted on (a printer lays text out unhinted).
    const QFontMetrics dayMetrics(resources.dayFont(), painter.device());
    const QFontMetrics yearMetrics(resources.yearFont(), painter.device());
    const QString yearLabel = QString::number(shownYear);
    const bool cellDetails = cw > 15 && rh > 10;
    const bool markers = cellDetails && s.m_bShowMemoAlarm;
    const bool redDays = cellDetails && s.m_bShowRedDays;
    const bool projects = s.m_bShowProjectLines && cw > 20;
    std::optional<DayNumbers> numbers;
    if (cellDetails && s.m_bShowDayNumbers)
        numbers.emplace(resources.dayFont(), dayMetrics, painter.worldTransform());

    const int scale = wholeDeviceScale(painter);
    DeviceUnits units(painter);
    const CellPatterns::Layout layout{
        markers, redDays, projects, numbers ? &*numbers : nullptr, dayMetrics.height(), dayMetrics.ascent()};
    const QRect yearLabelInk =
        QRect(grid.left(), 5, yearMetrics.horizontalAdvance(yearLabel), yearMetrics.height()) |
        yearMetrics.boundingRect(yearLabel)
            .translated(grid.left(), 5 + yearMetrics.ascent())
            .adjusted(-1, -1, 1, 1);
    std::optional<CellPatterns> patterns;
    if (scale != 0 && CellPatterns::applies(grid, layout, yearLabelInk) && units.exact())
        patterns.emplace(painter, units, scale, grid, layout, s, year);

    if (patterns)
        patterns->paintFrame(resources.gridPen());
    else if (scale == 1)
        drawFrame(painter, grid, gridColour);
    else
        drawFrameWithPen(painter, grid, resources.gridPen());

    painter.setFont(resources.yearFont());
    drawBoxedText(painter, yearMetrics, grid.left(), 5, yearLabel, colorFromColorRef(s.m_crYear), background);
    painter.setFont(resources.dayFont());

    if (patterns) {
        background = patterns->paintCells(background);
        painter.setBrushOrigin(0, 0);
    } else {
        ProjectStrokes strokes(
            year.m_projects,
            projects && ProjectStrokes::canWait(grid, markers, numbers ? &*numbers : nullptr), scale != 1);
        const QRect memoMarker = grid.memoMarker();
        const QRect alarmMarker = grid.alarmMarker();
        try {
            for (int m = 0; m < 12; ++m) {
                for (int d = 0; d < 31; ++d) {
                    const int month = m + 1;
                    const int day = d + 1;
                    const QRect cell = grid.cellFill(m, d);
                    const int x = cell.x();
                    const int y = cell.y();
                    if (!Calendar::isValidDate(shownYear, month,
                                               day)) { // also every day of a year outside 1..9999
                        fill(painter, x, y, cell.width(), cell.height(), noDayColour);
                        background = cellBackground;
                        continue;
                    }
                    const int weekday = Calendar::dayOfWeek(shownYear, month, day);
                    if (s.m_bShowSundays && (weekday == 0 || weekday == 6)) {
                        fill(painter, x, y, cell.width(), cell.height(), weekendColour);
                        background = weekendColour;
                    }
                    if (month == s.m_stSelected.wMonth && day == s.m_stSelected.wDay) {
                        fill(painter, x, y, cell.width(), cell.height(), selectedColour);
                        background = selectedColour;
                    }
                    if (cellDetails) {
                        const int n = Calendar::dayOfYear(shownYear, month, day);
                        if (markers && !year.m_memos.at(n).isEmpty())
                            fill(painter, x + memoMarker.x(), y + memoMarker.y(), memoMarker.width(),
                                 memoMarker.height(), kBlue);
                        const QColor& textColour =
                            redDays && !year.m_redTexts.at(n).isEmpty() ? kRed : kBlack;
                        if (markers && !year.m_alarmTexts.at(n).isEmpty())
                            fill(painter, x + alarmMarker.x(), y + alarmMarker.y(), alarmMarker.width(),
                                 alarmMarker.height(), kRed);
                        if (numbers) {
                            const int tx = x + grid.dayNumberX();
                            const int ty = y + grid.dayNumberY();
                            fill(painter, tx, ty, numbers->width[std::size_t(d)], dayMetrics.height(),
                                 background);
                            painter.setPen(textColour);
                            painter.drawStaticText(tx, ty, numbers->text[std::size_t(d)]);
                        }
                    }
                    if (projects) {
                        PaintDayProjects(strokes, year, grid, x, y, shownYear, month, day);
                        strokes.cellDone(painter);
                    }
                    background = cellBackground;
                }
            }
        } catch (...) {
            // The cells painted so far stand complete, as in cell order.
            strokes.flush(painter, false);
            throw;
        }
        // Off scale 1 the pen's line straddles the grid row, which the grid line covers only in part.
        strokes.flush(painter, scale == 1);
    }

    if (cw > 12) {
        for (int k = 1; k <= 12; ++k)
            drawBoxedText(painter, dayMetrics, truncated(grid.columnX(k) - cw * 0.5), grid.bottom(),
                          QString::number(k), monthColour, background);
    }

    painter.setFont(resources.monthFont());
    const QFontMetrics monthMetrics(resources.monthFont(), painter.device());
    if (cw > 12) {
        for (int k = 1; k <= 12; ++k) {
            const QString name = Calendar::shortMonthName(k);
            drawBoxedText(painter, monthMetrics, truncated(grid.columnX(k) - cw + 2), grid.top() - 15,
                          cw < 25 ? name.left(1) : name, monthColour, background);
        }
    }

    if (scale == 1 || (patterns && scale == 2)) {
        units.device();
        for (int k = 1; k <= 11; ++k)
            painter.fillRect(deviceVerticalLine(scale, grid.columnX(k), grid.top(), grid.bottom()),
                             gridColour);
        for (int r = 1; r <= 30; ++r)
            painter.fillRect(deviceHorizontalLine(scale, grid.left(), grid.right(), grid.rowY(r)),
                             gridColour);
        units.logical();
    } else {
        painter.setPen(resources.gridPen());
        for (int k = 1; k <= 11; ++k)
            if (grid.bottom() != grid.top())
                painter.drawLine(grid.columnX(k), grid.top(), grid.columnX(k), grid.bottom());
        for (int r = 1; r <= 30; ++r)
            if (grid.right() != grid.left())
                painter.drawLine(grid.left(), grid.rowY(r), grid.right(), grid.rowY(r));
    }
}

void CYearPainter::PaintDayProjects(ProjectStrokes& strokes, const YearData& year, const YearGrid& grid,
                                    int x, int y, int shownYear, int month, int day) const
{
    const DayMarkRecord& marks = year.m_dayMarks.at(Calendar::dayOfYear(shownYear, month, day));
    const int pitch = grid.projectPitch();
    // A slot is drawn only left of these limits, so that it stays inside the cell.
    const qint64 lineLimit = truncated(x + grid.columnWidth());
    const qint64 markLimit = truncated(x + grid.columnWidth() - pitch);
    const int lineHeight = truncated(y + grid.rowHeight()) - y; // the end point is not drawn
    const int column = month - 1;
    const qint64 midnight = Calendar::dayNumber(shownYear, month, day) * 86400;

    const qsizetype count = year.m_projects.count();
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 px = qint64(x) + grid.projectX() + i * pitch;
        if (pitch > 0 && px >= lineLimit && px >= markLimit)
            break; // every later slot lies further right
        if (px < -kOffSurface)
            continue;
        if (px < lineLimit && lineHeight > 0 && strokes.hasLineAt(i, midnight))
            strokes.addLine(i, column, day, QRect(int(px), y, 1, lineHeight));
        if (i < DayMarkRecord::kMaxProjects && marks.m_bChecked[i] && px < markLimit && pitch > 1)
            strokes.addMark(day, i, QRect(int(px), y + 1, pitch - 1, 2 * pitch));
    }
}

DayHit CYearPainter::HitTestDay(QSize extent, const DisplaySettings& settings, QPoint pos) const
{
    const YearGrid grid(extent, settings);
    const int column = grid.columnAt(pos.x());
    const int row = grid.rowAt(pos.y());
    // Offsets from the cell's grid corner, one pixel before its origin, so that the inclusive zones below
    // cover the painted pixels. Held so that the arithmetic below stays inside int.
    constexpr qint64 kHeld = qint64(1) << 30;
    const qint64 cx = std::clamp<qint64>(qint64(pos.x()) - grid.columnX(column), -kHeld, kHeld);
    const qint64 cy = std::clamp<qint64>(qint64(pos.y()) - grid.rowY(row), -kHeld, kHeld);
    const auto within = [](qint64 v, qint64 low, qint64 high) { return low <= v && v <= high; };
    const qint64 markerX = grid.markerX();
    const qint64 markerY = grid.markerY();
    const qint64 markerHeight = grid.markerHeight();
    const bool onMarkerColumn = within(cx, markerX, markerX + grid.markerWidth());

    DayHit hit;
    if (grid.projectPitch() != 0 && cx >= grid.projectX())
        hit.nSlot = int((cx - grid.projectX()) / grid.projectPitch());
    hit.bOnRedDay = within(cx, grid.dayNumberX(), qint64(grid.dayNumberX()) + 10) &&
                    within(cy, grid.dayNumberY(), qint64(grid.dayNumberY()) + 10);
    hit.bOnMemo = onMarkerColumn && within(cy, markerY, markerY + markerHeight);
    hit.bOnAlarm = onMarkerColumn && within(cy, markerY + markerHeight + 1, markerY + 2 * markerHeight + 1);
    hit.stDate.wYear = settings.m_stSelected.wYear;
    hit.stDate.wMonth = std::uint16_t(column + 1);
    hit.stDate.wDay = std::uint16_t(row + 1);
    return hit;
}

std::optional<QString> CYearPainter::StatusText(QSize extent, const YearData& year, QPoint pos) const
{
    return StatusText(extent, year.m_settings, year, pos);
}

std::optional<QString> CYearPainter::StatusText(QSize extent, const DisplaySettings& s, const YearData& year,
                                                QPoint pos) const
{
    if (!s.m_bShowStatusInfo)
        return std::nullopt;
    const DayHit hit = HitTestDay(extent, s, pos);
    const SYSTEMTIME& date = hit.stDate;
    if (!Calendar::isValidDate(date.wYear, date.wMonth, date.wDay))
        return QString();
    const int n = Calendar::dayOfYear(date.wYear, date.wMonth, date.wDay);

    QString text = QLatin1Char(' ') + Calendar::format(date, "%A, %B %d, %Y") + QLatin1Char(' ');
    if (hit.bOnMemo) {
        const QString memo = TextCodec::decode(year.m_memos.at(n));
        if (!memo.isEmpty())
            text += QStringLiteral(",   Memo = ") + memo;
    } else if (hit.bOnAlarm) {
        const QString alarm = TextCodec::decode(year.m_alarmTexts.at(n));
        const SYSTEMTIME& when = year.m_alarms.at(n).m_stWhen;
        if (!alarm.isEmpty()) {
            const QString at = Calendar::isValidDateTime(when) ? Calendar::format(when, "%H:%M, %b %d %Y")
                                                               : QStringLiteral("Invalid DateTime");
            text += QStringLiteral(",   Alarm (at %1) = \"%2\"").arg(at, alarm);
        }
    } else if (hit.bOnRedDay) {
        const QString red = TextCodec::decode(year.m_redTexts.at(n));
        if (!red.isEmpty())
            text += QStringLiteral(",   Red day = ") + red;
    } else if (hit.nSlot >= 0 && hit.nSlot < year.m_names.count()) {
        const int slot = hit.nSlot;
        const bool marked = slot < DayMarkRecord::kMaxProjects && year.m_dayMarks.at(n).m_bChecked[slot];
        bool onLine = false;
        if (!marked && slot < year.m_projects.count()) {
            const ProjectRecord& project = year.m_projects.at(slot);
            onLine = project.m_bLongLine && Calendar::periodCoversDay(project.m_stStart, project.m_stEnd,
                                                                      date.wYear, date.wMonth, date.wDay);
        }
        if (marked || onLine)
            text += QStringLiteral(",   Project = ") + TextCodec::decode(year.m_names.at(slot));
    }
    return text;
}
