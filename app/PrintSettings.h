#pragma once

#include <QPageLayout>
#include <QString>

class QPrinter;

// The page orientation of the year page, kept per printer in the settings. A year is twelve columns wide
// and 31 rows high but much wider than high on screen, so a printer nobody chose an orientation for
// prints landscape.
class PrintSettings
{
public:
    // The printer's name, or "pdf" when it prints to a file.
    static QString printerKey(const QPrinter& printer);

    static QPageLayout::Orientation orientation(const QString& printerKey);
    static void setOrientation(const QString& printerKey, QPageLayout::Orientation orientation);

    // Gives `printer` the orientation kept for it.
    static void apply(QPrinter& printer);
    // Keeps `printer`'s orientation for it (after a print, print set-up or preview dialog).
    static void remember(const QPrinter& printer);
};
