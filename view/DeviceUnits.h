#pragma once

#include <QPainter>
#include <QRect>
#include <QTransform>

// Switches a painter between its logical units and plain device pixels, where rectangles take Qt's fastest
// paths (no per-rectangle path for the HiDPI scale) and images copy one to one. Also places the rules'
// one-unit pen strokes on whole pixels.
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

    // The pixels a line of the one-unit pen covers, in logical units: from the start point toward the end
    // point, the end point left out, whichever way the line runs (a grid turned over runs up or left).
    static QRect logicalVerticalLine(int x, int from, int to)
    {
        return to >= from ? QRect(x, from, 1, to - from) : QRect(x, to + 1, 1, from - to);
    }
    static QRect logicalHorizontalLine(int from, int to, int y)
    {
        return to >= from ? QRect(from, y, to - from, 1) : QRect(to + 1, y, from - to, 1);
    }
    // The same in device pixels: at scale 2 each logical pixel is two by two device pixels, the picture
    // at scale 1 doubled.
    static QRect verticalLine(int scale, int x, int from, int to)
    {
        return rect(scale, logicalVerticalLine(x, from, to));
    }
    static QRect horizontalLine(int scale, int from, int to, int y)
    {
        return rect(scale, logicalHorizontalLine(from, to, y));
    }
    static QRect rect(int scale, const QRect& logical)
    {
        return {scale * logical.x(), scale * logical.y(), scale * logical.width(), scale * logical.height()};
    }

private:
    QPainter& m_painter;
    QTransform m_logical;
    QTransform m_device;
    QTransform m_deviceWorld;
};
