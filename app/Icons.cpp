#include "Icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <array>

namespace {

constexpr std::array<int, 3> kSizes{16, 32, 48};

// Reads each size's PNG when it is first drawn: a toolbar at scale 1 needs only the 16-pixel ones, and
// start-up would otherwise decode three images for every icon.
class PngIconEngine final : public QIconEngine
{
public:
    explicit PngIconEngine(const QString& name) : m_name(name) {}

    QIconEngine* clone() const override { return new PngIconEngine(*this); }
    QString key() const override { return QStringLiteral("TolvaPng"); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(32, 32), QSize(48, 48)};
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min({size.width(), size.height(), kSizes.back()});
        return QSize(side, side);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = pixmap(rect.size() * scale, mode, state);
        image.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        const int wanted = std::max(1, std::min(size.width(), size.height()));
        std::size_t i = 0;
        while (i + 1 < kSizes.size() && kSizes[i] < wanted)
            ++i;
        QPixmap& source = m_pixmaps[i];
        if (source.isNull()) {
            QImageReader reader(QStringLiteral(":/icons/%1-%2.png").arg(m_name).arg(kSizes[i]), "png");
            // Without this the reader asks every image plugin as well.
            reader.setAutoDetectImageFormat(false);
            source = QPixmap::fromImage(reader.read());
        }
        QPixmap result = source.width() == wanted || source.isNull()
                             ? source
                             : source.scaled(wanted, wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (mode != QIcon::Normal && mode != QIcon::Active) {
            QStyleOption option;
            option.palette = QApplication::palette();
            result = QApplication::style()->generatedIconPixmap(mode, result, &option);
        }
        return result;
    }

private:
    QString m_name;
    std::array<QPixmap, kSizes.size()> m_pixmaps;
};

} // namespace

QIcon Icons::named(const char* name)
{
    return QIcon(new PngIconEngine(QLatin1String(name)));
}
