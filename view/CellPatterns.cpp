#include "CellPatterns.h"

#include "Calendar.h"
#include "CellTileCache.h"
#include "DayNumbers.h"
#include "DeviceUnits.h"
#include "QtConversion.h"
#include "YearData.h"
#include "YearGrid.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

constexpr std::uint32_t kLine = 1;
constexpr std::uint32_t kMark = 2;

int truncated(double v)
{
    return int(std::trunc(v));
}

// Scratch images take the surface's format where it is a plain image, so that text blends onto them as
// onto the surface.
QImage::Format scratchFormat(const QPainter& painter)
{
    const QPaintDevice* device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    if (device && device->devType() == QInternal::Image) {
        const QImage::Format f = static_cast<const QImage*>(device)->format();
        if (f == QImage::Format_ARGB32_Premultiplied)
            return f;
    }
    return QImage::Format_RGB32;
}

} // namespace

bool CellPatterns::applies(const YearGrid& grid, const Layout& layout, const QRect& yearLabelInk)
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
        const QRect ink = n->ink();
        if (layout.dayFont == nullptr || grid.dayNumberX() < 0 || grid.dayNumberY() < 0 ||
            qint64(grid.dayNumberX()) + n->maxWidth() > cellWidth ||
            qint64(grid.dayNumberY()) + layout.numberHeight > cellHeight ||
            qint64(grid.dayNumberX()) + ink.left() < 0 || qint64(grid.dayNumberY()) + ink.top() < 0 ||
            qint64(grid.dayNumberX()) + ink.right() >= cellWidth ||
            qint64(grid.dayNumberY()) + ink.bottom() >= cellHeight)
            return false;
    }
    if (layout.projects && (grid.projectX() < 1 || grid.projectPitch() < 0 ||
                            2 * qint64(grid.projectPitch()) + 1 > cellHeight || grid.projectX() > cellWidth))
        return false;
    return true;
}

CellPatterns::CellPatterns(QPainter& painter, DeviceUnits& units, int scale, const YearGrid& grid,
                           const Layout& layout, const DisplaySettings& settings, const YearData& lists)
    : m_painter(painter), m_units(units), m_scale(scale), m_grid(grid), m_layout(layout),
      m_settings(settings), m_lists(lists), m_shownYear(settings.m_stSelected.wYear),
      m_cellDetails(grid.columnWidth() > 15 && grid.rowHeight() > 10), m_format(scratchFormat(painter)),
      m_rects(painter), m_lines(m_rects, scale, grid), m_periods(lists.m_projects)
{
    // The head ends right of the day number's box and ink and of the markers.
    int clean = layout.projects ? grid.projectX() : 0;
    if (layout.markers && grid.markerWidth() > 0 && grid.markerHeight() > 0)
        clean = std::max(clean, grid.markerX() + grid.markerWidth());
    if (const DayNumbers* n = layout.numbers)
        clean =
            std::max({clean, grid.dayNumberX() + n->maxWidth(), grid.dayNumberX() + n->ink().right() + 2});
    const int s = scale;
    m_headWidth = s * std::min(clean, grid.cellWidth());
    m_patternWidth = s * grid.cellWidth() - m_headWidth;

    m_tiles = layout.tiles;
    if (!m_tiles) {
        m_ownTiles = std::make_unique<CellTileCache>();
        m_tiles = m_ownTiles.get();
    }
    if (m_headWidth > 0) {
        const QRect memo = grid.memoMarker();
        const QRect alarm = grid.alarmMarker();
        m_tiles->useLayout({s,
                            int(m_format),
                            m_headWidth,
                            grid.cellWidth(),
                            grid.cellHeight(),
                            m_cellDetails,
                            layout.markers,
                            memo.x(),
                            memo.y(),
                            memo.width(),
                            memo.height(),
                            alarm.x(),
                            alarm.y(),
                            alarm.width(),
                            alarm.height(),
                            layout.numbers != nullptr,
                            grid.dayNumberX(),
                            grid.dayNumberY(),
                            layout.numberHeight,
                            layout.numberAscent,
                            grid.projectX(),
                            grid.projectPitch()},
                           m_headWidth, s * grid.cellHeight(), s, m_format);
    }
}

CellPatterns::~CellPatterns()
{
    m_tiles->endPaint();
}

bool CellPatterns::listsCoverTheYear() const
{
    if (!Calendar::isValidDate(m_shownYear, 1, 1))
        return true; // no cell reads a list
    const int first = Calendar::dayOfYear(m_shownYear, 1, 1);
    const int last = Calendar::dayOfYear(m_shownYear, 12, 31);
    const auto covers = [&](qsizetype count) { return first >= 0 && last < count; };
    if (m_layout.markers && (!covers(m_lists.m_memos.count()) || !covers(m_lists.m_alarmTexts.count())))
        return false;
    if (m_layout.redDays && !covers(m_lists.m_redTexts.count()))
        return false;
    if (m_layout.projects && !covers(m_lists.m_dayMarks.count()))
        return false;
    return true;
}

void CellPatterns::paintFrame(const QColor& gridColour)
{
    m_units.device();
    m_lines.paintFrame(gridColour);
    m_units.logical();
}

QColor CellPatterns::paintCells(QColor background, const QColor& gridColour)
{
    m_units.device();
    const QColor cellBackground = colorFromColorRef(m_settings.m_crBackground);
    const QColor noDayColour = colorFromColorRef(m_settings.m_crNoDay);
    const QColor weekendColour = colorFromColorRef(m_settings.m_crSunday);
    const QColor selectedColour = colorFromColorRef(m_settings.m_crSelected);
    for (int d = 0; d < 31; ++d) {
        int plainCells = 0;
        for (int m = 0; m < 12; ++m) {
            const int month = m + 1;
            const int day = d + 1;
            CellState& cell = m_row[std::size_t(m)];
            m_cell = &cell;
            cell.valid = Calendar::isValidDate(m_shownYear, month, day);
            if (!cell.valid)
                continue;
            cell.colour = kWhite; // the frame's inside
            cell.plain = true;
            const int weekday = Calendar::dayOfWeek(m_shownYear, month, day);
            if (m_settings.m_bShowSundays && (weekday == 0 || weekday == 6)) {
                cell.colour = weekendColour;
                cell.plain = false;
            }
            if (month == m_settings.m_stSelected.wMonth && day == m_settings.m_stSelected.wDay) {
                cell.colour = selectedColour;
                cell.plain = false;
            }
            // Text stands on the last fill; 1 January, first in the rules' order, may stand on the surface's.
            cell.background = !cell.plain ? cell.colour : m == 0 && d == 0 ? background : cellBackground;
            const int n = Calendar::dayOfYear(m_shownYear, month, day);
            cell.memo = cell.alarm = cell.red = false;
            if (m_cellDetails) {
                cell.memo = m_layout.markers && !m_lists.m_memos.at(n).isEmpty();
                cell.alarm = m_layout.markers && !m_lists.m_alarmTexts.at(n).isEmpty();
                cell.red = m_layout.redDays && !m_lists.m_redTexts.at(n).isEmpty();
            }
            collectSlots(m_grid.cellOrigin(m, d).x(), month, day);
            if (cell.plain && cell.pattern.empty())
                ++plainCells;
        }
        // Where most of the day row shows the frame's white, one fill of the whole row writes memory in
        // order; what differs is painted over it while it is in cache.
        const bool whiteRow = plainCells > 6;
        if (whiteRow) {
            const QRect first = DeviceUnits::rect(m_scale, m_grid.cellFill(0, d));
            m_rects.fill(QRect(QPoint(m_lines.inside().left(), first.top()),
                               QPoint(m_lines.inside().right(), first.bottom())) &
                             m_lines.inside(),
                         kWhite);
        }
        for (int m = 0; m < 12; ++m) {
            m_cell = &m_row[std::size_t(m)];
            if (m_cell->valid)
                paintCell(m, d, whiteRow);
            else
                m_rects.fill(DeviceUnits::rect(m_scale, m_grid.cellFill(m, d)), noDayColour);
        }
        m_lines.paintBand(d, gridColour);
    }
    m_rects.flush();
    m_units.logical();
    return cellBackground;
}

void CellPatterns::paintCell(int m, int d, bool whiteRow)
{
    const QRect fill = m_grid.cellFill(m, d);
    const QRect device = DeviceUnits::rect(m_scale, fill);
    const QColor& colour = m_cell->colour;
    // A plain cell shows the frame's white, which does not reach under the outline; there the outline stays
    // but for what the cell draws over it.
    const bool clipped = m_cell->plain && !m_lines.inside().contains(device);
    if (clipped && numberLeavesTheInside(fill, d)) {
        paintCellDirectly(fill, device, d);
        return;
    }
    const QRect clip = clipped ? m_lines.inside() : device;
    if (m_headWidth > 0) {
        const CellTileCache::Tile tile = headTile(d);
        const QRect target = QRect(device.x(), device.y(), m_headWidth, device.height()) & clip;
        if (!target.isEmpty())
            m_rects.copy(target, *tile.image, target.topLeft() - device.topLeft() + QPoint(0, tile.y));
    }
    if (m_patternWidth > 0) {
        const QRect area(device.x() + m_headWidth, device.y(), m_patternWidth, device.height());
        const QRect shown = area & clip;
        if (shown.isEmpty() || (whiteRow && m_cell->plain && m_cell->pattern.empty())) {
        } else if (m_cell->pattern.empty()) {
            m_rects.fill(shown, colour);
        } else {
            paintPatternRows(shown, area.x(), pattern(), fill.y());
        }
    }
    if (clipped)
        paintOverTheOutline(fill);
}

bool CellPatterns::numberLeavesTheInside(const QRect& fill, int d) const
{
    if (!m_cellDetails || !m_layout.numbers)
        return false;
    const QPoint at = fill.topLeft() + QPoint(m_grid.dayNumberX(), m_grid.dayNumberY());
    const QRect box(at, QSize(m_layout.numbers->width(d), m_layout.numberHeight));
    const QRect ink = m_layout.numbers->ink().translated(at).adjusted(-1, -1, 1, 1);
    return !m_lines.inside().contains(DeviceUnits::rect(m_scale, box | ink));
}

// The parts outside the frame's white inside of what a plain cell draws, in the rules' order.
void CellPatterns::paintOverTheOutline(const QRect& fill)
{
    const int s = m_scale;
    const auto outside = [&](const QRect& r, const QColor& colour) {
        if (r.isEmpty() || m_lines.inside().contains(r))
            return;
        const QRect hole = r & m_lines.inside();
        if (hole.isEmpty()) {
            m_rects.fill(r, colour);
            return;
        }
        const QRect parts[] = {
            QRect(QPoint(r.left(), r.top()), QPoint(r.right(), hole.top() - 1)),
            QRect(QPoint(r.left(), hole.bottom() + 1), QPoint(r.right(), r.bottom())),
            QRect(QPoint(r.left(), hole.top()), QPoint(hole.left() - 1, hole.bottom())),
            QRect(QPoint(hole.right() + 1, hole.top()), QPoint(r.right(), hole.bottom())),
        };
        for (const QRect& part : parts)
            if (!part.isEmpty())
                m_rects.fill(part, colour);
    };
    if (m_cell->memo)
        outside(DeviceUnits::rect(s, m_grid.memoMarker().translated(fill.topLeft())), kBlue);
    if (m_cell->alarm)
        outside(DeviceUnits::rect(s, m_grid.alarmMarker().translated(fill.topLeft())), kRed);
    const int pitch = m_grid.projectPitch();
    for (const std::uint32_t code : m_cell->all) {
        const qsizetype i = qsizetype(code >> 2);
        const QColor c = colorFromColorRef(m_lists.m_projects.at(i).m_crColor);
        const int px = fill.x() + m_grid.projectX() + int(i) * pitch;
        if (code & kLine)
            outside(DeviceUnits::verticalLine(s, px, fill.y(), fill.y() + fill.height()), c);
        if (code & kMark)
            outside(DeviceUnits::rect(s, QRect(px, fill.y() + 1, pitch - 1, 2 * pitch)), c);
    }
}

void CellPatterns::collectSlots(int x, int month, int day)
{
    m_cell->all.clear();
    m_cell->head.clear();
    m_cell->pattern.clear();
    if (!m_layout.projects)
        return;
    const DayMarkRecord& marks = m_lists.m_dayMarks.at(Calendar::dayOfYear(m_shownYear, month, day));
    const int pitch = m_grid.projectPitch();
    const qint64 lineLimit = truncated(x + m_grid.columnWidth());
    const qint64 markLimit = truncated(x + m_grid.columnWidth() - pitch);
    const std::int64_t midnight = Calendar::dayNumber(m_shownYear, month, day) * 86400;
    const int s = m_scale;
    const qsizetype count = m_lists.m_projects.count();
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 px = qint64(x) + m_grid.projectX() + i * pitch;
        if (pitch > 0 && px >= lineLimit && px >= markLimit)
            break; // every later slot lies further right
        const bool line = px < lineLimit && m_periods.hasLineAt(i, midnight);
        const bool mark =
            i < DayMarkRecord::kMaxProjects && marks.m_bChecked[i] && px < markLimit && pitch > 1;
        if (!line && !mark)
            continue;
        // Device columns from the cell's left edge.
        const int rel = int(px - x);
        const QRect lineRect = DeviceUnits::verticalLine(s, rel, 0, 1);
        const int markLeft = s * rel;
        const int markRight = s * (rel + pitch - 1);
        const std::uint32_t code = std::uint32_t(i) << 2 | (line ? kLine : 0) | (mark ? kMark : 0);
        m_cell->all.push_back(code);
        if ((line && lineRect.left() < m_headWidth) || (mark && markLeft < m_headWidth))
            m_cell->head.push_back(code);
        if ((line && lineRect.right() >= m_headWidth) || (mark && markRight > m_headWidth))
            m_cell->pattern.push_back(code);
    }
}

CellTileCache::Tile CellPatterns::headTile(int d)
{
    const bool number = m_cellDetails && m_layout.numbers;
    m_key.clear();
    m_key.push_back(m_cell->colour.rgb());
    m_key.push_back(number ? m_cell->background.rgb() : 0);
    m_key.push_back((m_cell->memo ? 1u : 0u) | (m_cell->alarm ? 2u : 0u) | (m_cell->red ? 4u : 0u) |
                    (number ? std::uint32_t(d + 1) << 3 : 0u));
    for (const std::uint32_t code : m_cell->head) {
        m_key.push_back(code);
        m_key.push_back(m_lists.m_projects.at(qsizetype(code >> 2)).m_crColor);
    }
    if (const CellTileCache::Tile* found = m_tiles->find(m_key))
        return *found;
    const CellTileCache::Tile tile = m_tiles->add(m_key);
    // The rules' own operations for the cell, in its logical units, with the cell at (0, y).
    drawHead(m_tiles->painter(), tile.y / m_scale, d);
    return tile;
}

// The day number on its opaque box, at its offset from the cell origin.
void CellPatterns::drawDayNumber(QPainter& p, QPoint origin, int d) const
{
    if (!m_cellDetails || !m_layout.numbers)
        return;
    const int tx = origin.x() + m_grid.dayNumberX();
    const int ty = origin.y() + m_grid.dayNumberY();
    const int width = m_layout.numbers->width(d);
    if (width > 0)
        p.fillRect(QRect(tx, ty, width, m_layout.numberHeight), m_cell->background);
    p.setFont(*m_layout.dayFont);
    p.setPen(m_cell->red ? kRed : kBlack);
    p.drawText(tx, ty + m_layout.numberAscent, DayNumbers::text(d));
}

void CellPatterns::drawHead(QPainter& p, int y, int d) const
{
    p.fillRect(QRect(0, y, m_grid.cellWidth(), m_grid.cellHeight()), m_cell->colour);
    if (m_cell->memo)
        p.fillRect(m_grid.memoMarker().translated(0, y), kBlue);
    if (m_cell->alarm)
        p.fillRect(m_grid.alarmMarker().translated(0, y), kRed);
    drawDayNumber(p, QPoint(0, y), d);
    drawSlots(p, m_cell->head, 0, y);
}

void CellPatterns::drawSlots(QPainter& p, const std::vector<std::uint32_t>& codes, int x, int y) const
{
    const int pitch = m_grid.projectPitch();
    for (const std::uint32_t code : codes) {
        const qsizetype i = qsizetype(code >> 2);
        const QColor c = colorFromColorRef(m_lists.m_projects.at(i).m_crColor);
        const int px = x + m_grid.projectX() + int(i) * pitch;
        if (code & kLine)
            p.fillRect(DeviceUnits::logicalVerticalLine(px, y, y + m_grid.cellHeight()), c);
        if (code & kMark)
            p.fillRect(QRect(px, y + 1, pitch - 1, 2 * pitch), c);
    }
}

const CellPatterns::Pattern& CellPatterns::pattern()
{
    m_key.clear();
    m_key.push_back(m_cell->colour.rgb());
    m_key.insert(m_key.end(), m_cell->pattern.begin(), m_cell->pattern.end());
    const auto found = m_patterns.find(m_key);
    if (found != m_patterns.end())
        return found->second;
    Sheet& sheet = sheetWithRoom(m_patternSheets, m_patternWidth, 2, 32);
    QPainter& p = *sheet.painter;
    const int r = sheet.used;
    sheet.used += 2;
    p.fillRect(QRect(0, r, m_patternWidth, 2), m_cell->colour);
    const int s = m_scale;
    const int pitch = m_grid.projectPitch();
    for (const std::uint32_t code : m_cell->pattern) {
        const qsizetype i = qsizetype(code >> 2);
        const QColor c = colorFromColorRef(m_lists.m_projects.at(i).m_crColor);
        const int rel = m_grid.projectX() + int(i) * pitch;
        if (code & kLine) {
            const QRect line = DeviceUnits::verticalLine(s, rel, 0, 1);
            p.fillRect(QRect(line.left() - m_headWidth, r, line.width(), 2), c);
        }
        if (code & kMark)
            p.fillRect(QRect(s * rel - m_headWidth, r + 1, s * (pitch - 1), 1), c);
    }
    const uchar* bits = sheet.image.constBits();
    const qsizetype stride = sheet.image.bytesPerLine();
    const QImage::Format format = sheet.image.format();
    Pattern pattern;
    pattern.lines = QBrush(QImage(bits + r * stride, m_patternWidth, 1, stride, format));
    pattern.marks = QBrush(QImage(bits + (r + 1) * stride, m_patternWidth, 1, stride, format));
    return m_patterns.emplace(m_key, std::move(pattern)).first->second;
}

// Rows of `area` (a part of the cell's pattern area, which starts at device x `left`).
void CellPatterns::paintPatternRows(const QRect& area, int left, const Pattern& pattern, int y)
{
    const int s = m_scale;
    const int pitch = m_grid.projectPitch();
    const auto rows = [&](int from, int to, const QBrush& brush) {
        if (to > from)
            m_rects.texture(QRect(area.left(), from, area.width(), to - from), brush, left);
    };
    if (pitch > 1) {
        const int marksTop = std::clamp(s * (y + 1), area.top(), area.bottom() + 1);
        const int marksBottom = std::clamp(s * (y + 1 + 2 * pitch), marksTop, area.bottom() + 1);
        rows(area.top(), marksTop, pattern.lines);
        rows(marksTop, marksBottom, pattern.marks);
        rows(marksBottom, area.bottom() + 1, pattern.lines);
    } else {
        rows(area.top(), area.bottom() + 1, pattern.lines);
    }
}

// A plain cell whose number reaches the frame's outline: the rules' operations straight onto the surface,
// the cell's white kept inside the outline.
void CellPatterns::paintCellDirectly(const QRect& fill, const QRect& device, int d)
{
    const int s = m_scale;
    const QRect white = device & m_lines.inside();
    m_rects.fill(white, m_cell->colour);
    if (m_cell->memo)
        m_rects.fill(DeviceUnits::rect(s, m_grid.memoMarker().translated(fill.topLeft())), kBlue);
    if (m_cell->alarm)
        m_rects.fill(DeviceUnits::rect(s, m_grid.alarmMarker().translated(fill.topLeft())), kRed);
    // The number is text, which only the painter draws: what came before it goes first.
    m_rects.flush();
    m_units.logical();
    drawDayNumber(m_painter, fill.topLeft(), d);
    drawSlots(m_painter, m_cell->all, fill.x(), fill.y());
    m_units.device();
}

void CellPatterns::repaintGridLinesOver(const QRect& logical, const QColor& gridColour)
{
    m_units.device();
    m_lines.repaintOver(DeviceUnits::rect(m_scale, logical.adjusted(-1, -1, 1, 1)), gridColour);
    m_rects.flush();
    m_units.logical();
}

CellPatterns::Sheet& CellPatterns::sheetWithRoom(std::vector<std::unique_ptr<Sheet>>& sheets, int width,
                                                 int height, int perSheet)
{
    if (sheets.empty() || sheets.back()->used + height > sheets.back()->image.height()) {
        // Sheets are added, never reallocated: earlier tiles and patterns point into them.
        if (!sheets.empty())
            sheets.back()->painter.reset();
        auto sheet = std::make_unique<Sheet>();
        sheet->image = QImage(width, height * perSheet, m_format);
        sheet->painter = std::make_unique<QPainter>(&sheet->image);
        sheets.push_back(std::move(sheet));
    }
    return *sheets.back();
}
