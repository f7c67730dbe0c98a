#include "YearRenderer.h"

#include "InvalidArgument.h"
#include "OutputFile.h"
#include "PaintResources.h"
#include "YearData.h"
#include "YearPainter.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

namespace {

// Screen pixels per inch: a rendered page keeps the on-screen proportions of a view of the same size.
constexpr int kScreenDpi = 96;
// PDF pages are drawn at this resolution and scaled, so that text and lines stay sharp when zoomed.
constexpr int kPdfDpi = 600;

} // namespace

YearRenderer::YearRenderer(const DisplaySettings& settings, const YearData& lists)
    : m_settings(settings), m_lists(lists)
{
}

YearRenderer::Format YearRenderer::formatFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return Format::Png;
    if (suffix == QLatin1String("pdf"))
        return Format::Pdf;
    if (suffix == QLatin1String("svg"))
        return Format::Svg;
    return Format::Unknown;
}

void YearRenderer::paint(QPainter& painter, QSize size) const
{
    const PaintResources resources(m_lists.m_settings);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setBackground(Qt::white); // the surface's initial text background, as on a fresh window
    try {
        g_pYearPainter->PaintYear(painter, size, m_settings, m_lists, resources);
    } catch (const InvalidArgument&) {
        // A damaged list ends the paint; the cells painted before it stand, as in the window.
    }
}

QImage YearRenderer::image(QSize size) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, size);
    painter.end();
    return image;
}

bool YearRenderer::write(const QString& path, QSize size, QString& error) const
{
    const Format format = formatFor(path);
    if (format == Format::Unknown) {
        error = QStringLiteral("%1: unknown file type (use .png, .pdf or .svg)").arg(path);
        return false;
    }
    // Painted into memory, then written the way every -o is (OutputFile): whole or not at all.
    QBuffer file;
    file.open(QIODevice::WriteOnly);

    bool painted = true;
    switch (format) {
    case Format::Png:
        painted = image(size).save(&file, "PNG");
        break;
    case Format::Pdf: {
        QPdfWriter pdf(&file);
        pdf.setCreator(QStringLiteral("Tolva"));
        pdf.setTitle(QString::number(m_settings.m_stSelected.wYear));
        pdf.setResolution(kPdfDpi);
        const QSizeF points(size.width() * 72.0 / kScreenDpi, size.height() * 72.0 / kScreenDpi);
        pdf.setPageLayout(
            QPageLayout(QPageSize(points, QPageSize::Point), QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        painted = painter.begin(&pdf);
        if (painted) {
            painter.scale(double(kPdfDpi) / kScreenDpi, double(kPdfDpi) / kScreenDpi);
            paint(painter, size);
            painted = painter.end();
        }
        break;
    }
    case Format::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(kScreenDpi);
        svg.setTitle(QString::number(m_settings.m_stSelected.wYear));
        QPainter painter;
        painted = painter.begin(&svg);
        if (painted) {
            paint(painter, size);
            painted = painter.end();
        }
        break;
    }
    case Format::Unknown:
        break;
    }

    if (!painted) {
        error = QStringLiteral("%1: could not be painted").arg(path);
        return false;
    }
    file.close();
    return OutputFile::write(path, file.data(), error);
}
