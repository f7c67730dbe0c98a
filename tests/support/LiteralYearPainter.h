#pragma once

#include <QSize>

class PaintResources;
class QPainter;
struct YearData;

// The year painting rules transcribed step by step as the old program ran them: geometry formed inline,
// a GDI-like surface state (current pen, background and text colour), one pen made and selected for every
// project in every cell, every text measured and laid out when it is drawn. Kept as the speed baseline
// for CYearPainter and as the reference the view tests compare it with, pixel for pixel.
void paintYearLiterally(QPainter& painter, QSize extent, const YearData& year,
                        const PaintResources& resources);
