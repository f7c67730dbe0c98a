#pragma once

#include "ColorRef.h"
#include "LogFont.h"

#include <QColor>
#include <QFont>

// The stored colour and font records as Qt objects.

inline QColor colorFromColorRef(COLORREF c)
{
    return QColor(colorRefRed(c), colorRefGreen(c), colorRefBlue(c));
}

// lfHeight > 0 is the cell height (ascent + descent) in pixels: the font gets the largest pixel size whose
// QFontMetrics::height() does not exceed it. lfHeight < 0 is the character (em) height, taken as the pixel
// size; 0 means the default cell height of 16. Weight, italic, underline, strike-out and a request for no
// antialiasing are honoured; width, escapement and orientation are not. "Arial" (or no face) falls back to
// the metric-compatible "Liberation Sans" where Arial is not installed. Needs a QGuiApplication.
QFont fontFromLogFont(const LOGFONTA& lf);
