#pragma once

#include <QIcon>

// The program's icons from the PNG the build makes of each SVG in res/icons (16, 32 and 48 pixels), each
// read when first drawn at its size.
class Icons
{
public:
    // "new", "today", ..., "tolva".
    static QIcon named(const char* name);
};
