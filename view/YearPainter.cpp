#include "YearPainter.h"

#include "Calendar.h"
#include "CellPatterns.h"
#include "DayNumbers.h"
#include "DeviceUnits.h"
#include "LabelTexts.h"
#include "PaintResources.h"
#include "ProjectPeriods.h"
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
// advance and as high as the font's cell. Returns the box. At scale 1 a static text draws the glyphs drawText
// would, without laying the text out again.
QRect drawBoxedText(QPainter& painter, LabelTexts& texts, int x, int y, const QString& text,
                    const QColor& colour, const QColor& background, bool staticText)
{
    const QRect box(x, y, texts.label(text).advance, texts.metrics().height());
    fill(painter, box.x(), box.y(), box.width(), box.height(), background);
    painter.setPen(colour);
    if (staticText)
        painter.drawStaticText(x, y, texts.staticText(text, painter.worldTransform()));
    else
        painter.drawText(x, y + texts.metrics().ascent(), text);
    return box;
}

// The outline in the grid colour over left..right-1, top..bottom-1, the inside white; a grid turned over
// has no pixels between its edges, so it has no outline.
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

    ProjectStrokes(const RecordList<ProjectRecord>& projects, bool wait)
        : m_projects(projects), m_wait(wait), m_periods(projects),
          m_bands(wait ? (31 + kRowsPerBand - 1) / kRowsPerBand : 1)
    {
    }

    bool hasLineAt(qsizetype i, qint64 midnight) const { return m_periods.hasLineAt(i, midnight); }

    static bool canWait(const YearGrid& grid, bool markers, const DayNumbers* numbers)
    {
        if (grid.left() < 0 || grid.top() < 0 || grid.projectX() < 0 || grid.projectPitch() < 0)
            return false;
        if (2 * qint64(grid.projectPitch()) + 1 > grid.cellHeight())
            return false; // marks would reach into the cell below
        if (markers && (grid.markerX() < 0 || grid.markerY() < 0))
            return false;
        if (numbers &&
            (grid.dayNumberX() < 0 || grid.dayNumberY() < 0 ||
             grid.dayNumberX() + numbers->ink().left() < 0 || grid.dayNumberY() + numbers->ink().top() < 0))
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
                painter.setBrush(colour);
                painter.drawRects(m_runs.data(), int(m_runs.size()));
                painter.drawRects(s.marks.data(), int(s.marks.size()));
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
    ProjectPeriods m_periods;
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
    const QFontMetrics& dayMetrics = resources.dayLabels(painter.device()).metrics();
    LabelTexts& yearTexts = resources.yearLabels(painter.device());
    const QString yearLabel = QString::number(shownYear);
    const bool cellDetails = cw > 15 && rh > 10;
    const bool markers = cellDetails && s.m_bShowMemoAlarm;
    const bool redDays = cellDetails && s.m_bShowRedDays;
    const bool projects = s.m_bShowProjectLines && cw > 20;
    std::optional<DayNumbers> numbers;
    if (cellDetails && s.m_bShowDayNumbers)
        numbers.emplace(resources.dayNumbers(painter.device()));

    const int scale = wholeDeviceScale(painter);
    DeviceUnits units(painter);
    const CellPatterns::Layout layout{markers,
                                      redDays,
                                      projects,
                                      numbers ? &*numbers : nullptr,
                                      &resources.dayFont(),
                                      dayMetrics.height(),
                                      dayMetrics.ascent(),
                                      &resources.cellTiles()};
    const QRect yearLabelInk =
        QRect(grid.left(), 5, yearTexts.label(yearLabel).advance, yearTexts.metrics().height()) |
        yearTexts.label(yearLabel)
            .bounds.translated(grid.left(), 5 + yearTexts.metrics().ascent())
            .adjusted(-1, -1, 1, 1);
    std::optional<CellPatterns> patterns;
    if (scale != 0 && CellPatterns::applies(grid, layout, yearLabelInk) && units.exact()) {
        patterns.emplace(painter, units, scale, grid, layout, s, year);
        if (!patterns->listsCoverTheYear())
            patterns.reset(); // the paint stops part-way, where the rules' cell order decides what stands
    }
    if (!patterns && numbers && scale == 1)
        numbers->prepareStaticTexts(painter.worldTransform());

    if (patterns)
        patterns->paintFrame(gridColour);
    else
        drawFrame(painter, grid, gridColour);

    painter.setFont(resources.yearFont());
    drawBoxedText(painter, yearTexts, grid.left(), 5, yearLabel, colorFromColorRef(s.m_crYear), background,
                  scale == 1);
    painter.setFont(resources.dayFont());

    if (patterns) {
        background = patterns->paintCells(background, gridColour);
        painter.setBrushOrigin(0, 0);
    } else {
        ProjectStrokes strokes(year.m_projects,
                               projects &&
                                   ProjectStrokes::canWait(grid, markers, numbers ? &*numbers : nullptr));
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
                            fill(painter, tx, ty, numbers->width(d), dayMetrics.height(), background);
                            painter.setPen(textColour);
                            // Static text laid out for the HiDPI scale places glyphs a device pixel
                            // apart from drawText.
                            if (scale == 1)
                                painter.drawStaticText(tx, ty, numbers->staticText(d));
                            else
                                painter.drawText(tx, ty + dayMetrics.ascent(), DayNumbers::text(d));
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
        // At a scale that is not whole, a run's pixels over a grid row need not be those the line covers.
        strokes.flush(painter, scale != 0);
    }

    // Where the labels lie, box and ink, for the grid lines that the rules draw over them.
    std::vector<QRect> labels;
    const auto label = [&](LabelTexts& texts, int x, int y, const QString& text) {
        const QRect box = drawBoxedText(painter, texts, x, y, text, monthColour, background, scale == 1);
        if (!patterns)
            return;
        // Rows only: the lines are painted over the label's rows across the grid.
        const LabelTexts::Label& l = texts.label(text);
        labels.emplace_back(QPoint(grid.left(), std::min(box.top(), y + l.inkTop)),
                            QPoint(grid.right(), std::max(box.bottom(), y + l.inkBottom)));
    };
    if (cw > 12) {
        LabelTexts& numberTexts = resources.dayLabels(painter.device());
        for (int k = 1; k <= 12; ++k)
            label(numberTexts, truncated(grid.columnX(k) - cw * 0.5), grid.bottom(), QString::number(k));
    }

    painter.setFont(resources.monthFont());
    if (cw > 12) {
        LabelTexts& monthTexts = resources.monthLabels(painter.device());
        for (int k = 1; k <= 12; ++k) {
            const QString name = Calendar::shortMonthName(k);
            label(monthTexts, truncated(grid.columnX(k) - cw + 2), grid.top() - 15,
                  cw < 25 ? name.left(1) : name);
        }
    }

    if (patterns) {
        for (const QRect& r : labels)
            patterns->repaintGridLinesOver(r, gridColour);
    } else if (scale != 0) {
        units.device();
        for (int k = 1; k <= 11; ++k)
            painter.fillRect(DeviceUnits::verticalLine(scale, grid.columnX(k), grid.top(), grid.bottom()),
                             gridColour);
        for (int r = 1; r <= 30; ++r)
            painter.fillRect(DeviceUnits::horizontalLine(scale, grid.left(), grid.right(), grid.rowY(r)),
                             gridColour);
        units.logical();
    } else {
        for (int k = 1; k <= 11; ++k)
            painter.fillRect(DeviceUnits::logicalVerticalLine(grid.columnX(k), grid.top(), grid.bottom()),
                             gridColour);
        for (int r = 1; r <= 30; ++r)
            painter.fillRect(DeviceUnits::logicalHorizontalLine(grid.left(), grid.right(), grid.rowY(r)),
                             gridColour);
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
