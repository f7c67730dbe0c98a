#include "Icons.h"

#include <QImageReader>
#include <QPixmap>

QIcon Icons::named(const char* name)
{
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QImageReader reader(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(size), "png");
        // Without this the reader asks every image plugin as well, loading each one (and Qt's SVG library).
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}
