#include "YearPrinter.h"

#include "InvalidArgument.h"
#include "TolvaView.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QScreen>

QSizeF YearPrinter::screenDpi()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return {screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()};
    return {96.0, 96.0};
}

QSize YearPrinter::pageExtent(const QPaintDevice& device, QSizeF screenDpi)
{
    // Truncated, like the grid's own arithmetic: the last partial screen pixel is not drawn on.
    return {int(device.width() * screenDpi.width() / device.logicalDpiX()),
            int(device.height() * screenDpi.height() / device.logicalDpiY())};
}

void YearPrinter::paintPage(const CTolvaView& view, QPainter& painter, const QPaintDevice& device,
                            QSizeF screenDpi)
{
    painter.save();
    painter.scale(device.logicalDpiX() / screenDpi.width(), device.logicalDpiY() / screenDpi.height());
    const QSize extent = pageExtent(device, screenDpi);
    // The paper is the surface's initial background, as a fresh window's white is on screen.
    painter.setBackground(Qt::white);
    try {
        view.paintYear(painter, extent);
    } catch (const InvalidArgument&) {
        // A list too short for a day ends the page where it stands, as it ends a paint on screen.
    }
    painter.restore();
}

bool YearPrinter::print(const CTolvaView& view, QPrinter& printer, QSizeF dpi)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    paintPage(view, painter, printer, dpi);
    return painter.end();
}
