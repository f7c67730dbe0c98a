#include "LiteralYearPainter.h"

#include "Calendar.h"
#include "PaintResources.h"
#include "QtConversion.h"
#include "YearData.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The drawing surface as the rules see it.
class Surface
{
public:
    explicit Surface(QPainter& painter) : m_painter(painter), m_background(painter.background().color()) {}

    QPen selectPen(const QPen& pen)
    {
        const QPen old = m_pen;
        m_pen = pen;
        return old;
    }
    QFont selectFont(const QFont& font)
    {
        const QFont old = m_font;
        m_font = font;
        return old;
    }
    void setTextColor(const QColor& c) { m_textColour = c; }
    void setBkColor(const QColor& c) { m_background = c; }
    QColor getBkColor() const { return m_background; }

    // The pen's pixels are written out here rather than left to QPainter's stroker: Qt centres a pen on
    // the logical coordinate, which at two device pixels per unit is one device pixel off the doubled
    // picture, and a reference that shares the stroker with the painter under test cannot see that.
    // The outline covers left..right-1 and top..bottom-1; a rectangle turned over covers no pixel.
    void rectangle(int left, int top, int right, int bottom)
    {
        if (right - left <= 0 || bottom - top <= 0)
            return;
        m_painter.fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), Qt::white);
        const QColor c = m_pen.color();
        m_painter.fillRect(QRect(QPoint(left, top), QPoint(right - 1, top)), c);
        m_painter.fillRect(QRect(QPoint(left, bottom - 1), QPoint(right - 1, bottom - 1)), c);
        m_painter.fillRect(QRect(QPoint(left, top), QPoint(left, bottom - 1)), c);
        m_painter.fillRect(QRect(QPoint(right - 1, top), QPoint(right - 1, bottom - 1)), c);
    }
    void fillSolidRect(int x, int y, int width, int height, const QColor& c)
    {
        if (width > 0 && height > 0)
            m_painter.fillRect(QRect(x, y, width, height), c);
        m_background = c;
    }
    void textOut(int x, int y, const QString& text)
    {
        const QFontMetrics metrics(m_font);
        const int width = metrics.horizontalAdvance(text);
        if (width > 0)
            m_painter.fillRect(QRect(x, y, width, metrics.height()), m_background);
        m_painter.setFont(m_font);
        m_painter.setPen(m_textColour);
        m_painter.drawText(x, y + metrics.ascent(), text);
    }
    void moveTo(int x, int y) { m_current = QPoint(x, y); }
    // Horizontal and vertical lines only: every pixel from the current point toward the end point, the
    // end point left out, whichever way the line runs.
    void lineTo(int x, int y)
    {
        const QPoint from = m_current;
        m_current = QPoint(x, y);
        QPoint first = from;
        QPoint last = m_current;
        if (x == from.x() && y != from.y())
            last.ry() += y > from.y() ? -1 : 1;
        else if (y == from.y() && x != from.x())
            last.rx() += x > from.x() ? -1 : 1;
        else
            return;
        m_painter.fillRect(QRect(QPoint(std::min(first.x(), last.x()), std::min(first.y(), last.y())),
                                 QPoint(std::max(first.x(), last.x()), std::max(first.y(), last.y()))),
                           m_pen.color());
    }

private:
    QPainter& m_painter;
    QPen m_pen;
    QFont m_font;
    QColor m_background;
    QColor m_textColour;
    QPoint m_current;
};

int truncInt(double v)
{
    return int(std::trunc(v));
}

void paintDayProjects(Surface& dc, const YearData& year, int x, int y, int day, int month, double cw,
                      double rh)
{
    const DisplaySettings& s = year.m_settings;
    const int n = Calendar::dayOfYear(year.year(), month, day);
    const DayMarkRecord& marks = year.m_dayMarks.at(n);
    for (qsizetype i = 0; i < year.m_projects.count(); ++i) {
        const ProjectRecord& project = year.m_projects.at(i);
        const int px = x + s.m_nProjectX + int(i) * s.m_nProjectPitch;
        const QColor colour = colorFromColorRef(project.m_crColor);
        const QPen old = dc.selectPen(QPen(colour, 1, Qt::SolidLine, Qt::FlatCap));
        if (project.m_bLongLine &&
            Calendar::periodCoversDay(project.m_stStart, project.m_stEnd, year.year(), month, day) &&
            px < truncInt(x + cw)) {
            dc.moveTo(px, y);
            dc.lineTo(px, truncInt(y + rh));
        }
        if (i < 100 && marks.m_bChecked[i] && px < truncInt(x + cw - s.m_nProjectPitch))
            dc.fillSolidRect(px, y + 1, s.m_nProjectPitch - 1, 2 * s.m_nProjectPitch, colour);
        dc.selectPen(old);
    }
}

void paintSteps(QPainter& painter, QSize extent, const YearData& year, const PaintResources& resources);

} // namespace

void paintYearLiterally(QPainter& painter, QSize extent, const YearData& year,
                        const PaintResources& resources)
{
    painter.save();
    try {
        paintSteps(painter, extent, year, resources);
    } catch (...) {
        painter.restore();
        throw;
    }
    painter.restore();
}

namespace {

void paintSteps(QPainter& painter, QSize extent, const YearData& year, const PaintResources& resources)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    Surface dc(painter);
    const DisplaySettings& s = year.m_settings;
    const int wt = extent.width();
    const int ht = extent.height();
    const int gridWidth = wt - 2 * s.m_nMargin;
    const int gridHeight = ht - s.m_nTop - s.m_nMargin;
    const double cw = gridWidth * 0.08333333333333333;
    const double rh = gridHeight * 0.03225806451612903;
    const int x1 = s.m_nMargin + gridWidth;
    const int y1 = s.m_nTop + gridHeight;

    const QPen oldPen = dc.selectPen(resources.gridPen());
    dc.rectangle(s.m_nMargin, s.m_nTop, x1, y1);

    dc.selectFont(resources.yearFont());
    dc.setTextColor(colorFromColorRef(s.m_crYear));
    dc.textOut(s.m_nMargin, 5, QString::asprintf("%d", year.year()));

    dc.selectFont(resources.dayFont());
    dc.setTextColor(colorFromColorRef(s.m_crDayNumber));

    for (int m = 0; m < 12; ++m) {
        for (int d = 0; d < 31; ++d) {
            const int x = truncInt(m * cw) + s.m_nMargin + 1;
            const int y = truncInt(d * rh) + s.m_nTop + 1;
            const int cwi = truncInt(cw);
            const int rhi = truncInt(rh);
            if (Calendar::isValidDate(year.year(), m + 1, d + 1)) {
                const int weekday = Calendar::dayOfWeek(year.year(), m + 1, d + 1);
                if (s.m_bShowSundays && (weekday == 0 || weekday == 6))
                    dc.fillSolidRect(x, y, cwi, rhi, colorFromColorRef(s.m_crSunday));
                if (m + 1 == s.m_stSelected.wMonth && d + 1 == s.m_stSelected.wDay)
                    dc.fillSolidRect(x, y, cwi, rhi, colorFromColorRef(s.m_crSelected));
                if (cw > 15 && rh > 10) {
                    const int n = Calendar::dayOfYear(year.year(), m + 1, d + 1);
                    if (s.m_bShowMemoAlarm && !year.m_memos.at(n).isEmpty()) {
                        const QColor kept = dc.getBkColor();
                        dc.fillSolidRect(x + s.m_nMarkerX, y + s.m_nMarkerY, s.m_nMarkerWidth,
                                         s.m_nMarkerHeight, QColor(0, 0, 255));
                        dc.setBkColor(kept);
                    }
                    if (s.m_bShowRedDays && !year.m_redTexts.at(n).isEmpty())
                        dc.setTextColor(QColor(255, 0, 0));
                    else
                        dc.setTextColor(QColor(0, 0, 0));
                    if (s.m_bShowMemoAlarm && !year.m_alarmTexts.at(n).isEmpty()) {
                        const QColor kept = dc.getBkColor();
                        dc.fillSolidRect(x + s.m_nMarkerX, y + s.m_nMarkerY + s.m_nMarkerHeight + 1,
                                         s.m_nMarkerWidth, s.m_nMarkerHeight, QColor(255, 0, 0));
                        dc.setBkColor(kept);
                    }
                    const QString number = QString::asprintf("%02d", d + 1);
                    if (s.m_bShowDayNumbers)
                        dc.textOut(x + s.m_nDayNumberX, y + s.m_nDayNumberY, number);
                }
                if (s.m_bShowProjectLines && cw > 20)
                    paintDayProjects(dc, year, x, y, d + 1, m + 1, cw, rh);
            } else {
                dc.fillSolidRect(x, y, cwi, rhi, colorFromColorRef(s.m_crNoDay));
            }
            dc.setBkColor(colorFromColorRef(s.m_crBackground));
        }
    }

    if (cw > 12) {
        for (int k = 1; k <= 12; ++k) {
            const int xk = truncInt(k * cw) + s.m_nMargin;
            dc.setTextColor(colorFromColorRef(s.m_crMonth));
            dc.textOut(truncInt(xk - cw * 0.5), y1, QString::asprintf("%d", k));
        }
    }
    const QFont oldFont = dc.selectFont(resources.monthFont());
    for (int k = 1; k <= 12; ++k) {
        const int xk = truncInt(k * cw) + s.m_nMargin;
        QString name = Calendar::shortMonthName(k);
        dc.setTextColor(colorFromColorRef(s.m_crMonth));
        if (cw < 25)
            name = name.left(1);
        if (cw > 12)
            dc.textOut(truncInt(xk - cw + 2), s.m_nTop - 15, name);
    }
    for (int k = 1; k <= 11; ++k) {
        const int xk = truncInt(k * cw) + s.m_nMargin;
        dc.moveTo(xk, s.m_nTop);
        dc.lineTo(xk, y1);
    }
    for (int r = 1; r <= 30; ++r) {
        const int yr = truncInt(r * rh) + s.m_nTop;
        dc.moveTo(s.m_nMargin, yr);
        dc.lineTo(x1, yr);
    }
    dc.selectPen(oldPen);
    dc.selectFont(oldFont);
}

} // namespace
