#include "PrintSettings.h"

#include <QPrinter>
#include <QSettings>
#include <QUrl>

namespace {

QString settingsKey(const QString& printerKey)
{
    // A printer name may hold '/', which QSettings reads as a group separator.
    return QStringLiteral("printing/%1/orientation")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(printerKey)));
}

} // namespace

QString PrintSettings::printerKey(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat || printer.printerName().isEmpty())
        return QStringLiteral("pdf");
    return printer.printerName();
}

QPageLayout::Orientation PrintSettings::orientation(const QString& printerKey)
{
    const QString value = QSettings().value(settingsKey(printerKey)).toString();
    return value == QLatin1String("portrait") ? QPageLayout::Portrait : QPageLayout::Landscape;
}

void PrintSettings::setOrientation(const QString& printerKey, QPageLayout::Orientation orientation)
{
    QSettings().setValue(settingsKey(printerKey), orientation == QPageLayout::Portrait
                                                      ? QStringLiteral("portrait")
                                                      : QStringLiteral("landscape"));
}

void PrintSettings::apply(QPrinter& printer)
{
    printer.setPageOrientation(orientation(printerKey(printer)));
}

void PrintSettings::remember(const QPrinter& printer)
{
    setOrientation(printerKey(printer), printer.pageLayout().orientation());
}
