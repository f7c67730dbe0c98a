#pragma once

#include <QSize>
#include <QSizeF>

class CTolvaView;
class QPaintDevice;
class QPainter;
class QPrinter;

// Prints a year view on one page at the year's on-screen physical size: one logical unit is one screen
// pixel, scaled to the device separately in x and y (screen and device resolutions may differ per axis).
//
// The grid's extent on paper is the device's printable area converted to screen pixels, so the year fills
// the page whatever the window's size; margins, fonts and marker sizes keep their size on screen. (The
// window's own size was the other choice, but a wide window would then run off an A4 page.)
class YearPrinter
{
public:
    // The resolution of the primary screen (96 x 96 when there is none).
    static QSizeF screenDpi();

    // The extent, in screen pixels, of a device's drawable area.
    static QSize pageExtent(const QPaintDevice& device, QSizeF screenDpi);

    // Paints `view`'s year on a painter that is active on `device`, filling the device's drawable area.
    static void paintPage(const CTolvaView& view, QPainter& painter, const QPaintDevice& device,
                          QSizeF screenDpi);

    // One page: begins and ends its own painter on `printer`. False when the printer could not be started.
    static bool print(const CTolvaView& view, QPrinter& printer, QSizeF dpi = screenDpi());
};
