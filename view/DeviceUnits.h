#pragma once

#include <QPainter>
#include <QRect>
#include <QTransform>

// Switches a painter between its logical units and plain device pixels, where rectangles take Qt's fastest
// paths (no per-rectangle path for the HiDPI scale) and images copy one to one. Also places the rules'
// one-unit pen strokes in device pixels at the whole scales 1 and 2.
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

    // A line of the one-unit pen covers its logical pixels at scale 1, and at scale 2 the two device
    // pixels centred on the logical coordinate (the half unit either side), over [from, to) along it.
    static QRect verticalLine(int scale, int x, int y0, int y1)
    {
        return scale == 1 ? QRect(x, y0, 1, y1 - y0) : QRect(2 * x - 1, 2 * y0, 2, 2 * (y1 - y0));
    }
    static QRect horizontalLine(int scale, int x0, int x1, int y)
    {
        return scale == 1 ? QRect(x0, y, x1 - x0, 1) : QRect(2 * x0, 2 * y - 1, 2 * (x1 - x0), 2);
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
