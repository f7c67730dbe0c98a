#include "OpaqueRects.h"

#include <QBrush>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {

enum class Clip { None, SystemRect, SystemTwoRects, PainterRect };

struct Op
{
    int kind; // 0 fill, 1 copy, 2 texture
    QRect rect;
    QColor colour;
    QPoint source;
    int brush;
    int originX;
};

// Overlapping rectangles of every kind, many reaching past the surface's edges.
struct Scene
{
    QImage source;
    std::vector<QBrush> brushes;
    std::vector<Op> ops;

    Scene(QImage::Format format, quint32 seed)
    {
        QRandomGenerator random(seed);
        const auto opaque = [&] { return QColor::fromRgb(random.generate() | 0xff000000u); };
        source = QImage(64, 64, format);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                source.setPixelColor(x, y, opaque());
        for (int i = 0; i < 6; ++i) {
            QImage row(1 + random.bounded(40), 1, format);
            for (int x = 0; x < row.width(); ++x)
                row.setPixelColor(x, 0, opaque());
            brushes.emplace_back(row);
        }
        for (int i = 0; i < 400; ++i) {
            Op op{};
            op.kind = random.bounded(3);
            op.rect = QRect(random.bounded(-30, 330), random.bounded(-30, 230), random.bounded(1, 60),
                            random.bounded(1, 60));
            op.colour = opaque();
            op.source = QPoint(random.bounded(64 - op.rect.width() + 1 > 0 ? 64 - op.rect.width() + 1 : 1),
                               random.bounded(64 - op.rect.height() + 1 > 0 ? 64 - op.rect.height() + 1 : 1));
            if (op.kind == 1 && (op.rect.width() > 64 || op.rect.height() > 64))
                op.kind = 0;
            op.brush = random.bounded(int(brushes.size()));
            op.originX = random.bounded(-50, 50);
            ops.push_back(op);
        }
    }
};

QImage surface(QImage::Format format, Clip clip)
{
    QImage image(300, 200, format);
    image.fill(QColor(20, 200, 90));
    if (clip == Clip::SystemRect)
        image.paintEngine()->setSystemClip(QRegion(40, 30, 200, 120));
    else if (clip == Clip::SystemTwoRects)
        image.paintEngine()->setSystemClip(QRegion(40, 30, 200, 50) + QRegion(10, 120, 250, 60));
    return image;
}

void prepare(QPainter& painter, Clip clip, QPoint offset)
{
    painter.translate(offset);
    if (clip == Clip::PainterRect)
        painter.setClipRect(QRect(25, 15, 230, 150).translated(-offset));
}

} // namespace

class TestOpaqueRects : public QObject
{
    Q_OBJECT

private slots:
    void samePictureAsThePainter_data();
    void samePictureAsThePainter();
};

// Written straight into the image or handed to the painter, the rectangles must give the picture of the
// painter's own calls in the same order, clipped as the painter clips; under a clip of several rectangles
// or the painter's own clip, the painter does the work.
void TestOpaqueRects::samePictureAsThePainter_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<int>("clip");
    QTest::addColumn<bool>("direct");
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const char* f = format == QImage::Format_RGB32 ? "RGB32" : "ARGB32PM";
        for (const QPoint offset : {QPoint(0, 0), QPoint(7, -11)}) {
            const auto row = [&](const char* name, Clip clip, bool direct) {
                QTest::addRow("%s, moved by (%d, %d), %s", f, offset.x(), offset.y(), name)
                    << format << offset << int(clip) << direct;
            };
            row("no clip", Clip::None, true);
            row("one exposed rectangle", Clip::SystemRect, true);
            row("two exposed rectangles", Clip::SystemTwoRects, false);
            row("painter clipped", Clip::PainterRect, false);
        }
    }
}

void TestOpaqueRects::samePictureAsThePainter()
{
    QFETCH(QImage::Format, format);
    QFETCH(QPoint, offset);
    QFETCH(int, clip);
    QFETCH(bool, direct);
    const Clip c = Clip(clip);
    for (const quint32 seed : {1u, 2u, 3u}) {
        const Scene scene(format, seed);

        QImage expected = surface(format, c);
        {
            QPainter painter(&expected);
            prepare(painter, c, offset);
            for (const Op& op : scene.ops) {
                if (op.kind == 0) {
                    painter.fillRect(op.rect, op.colour);
                } else if (op.kind == 1) {
                    painter.drawImage(op.rect, scene.source, QRect(op.source, op.rect.size()));
                } else {
                    painter.setBrushOrigin(op.originX, 0);
                    painter.fillRect(op.rect, scene.brushes[std::size_t(op.brush)]);
                }
            }
        }

        QImage image = surface(format, c);
        bool wroteDirectly = false;
        {
            QPainter painter(&image);
            prepare(painter, c, offset);
            OpaqueRects rects(painter);
            // Two flushes, so that the second starts from what the first left.
            for (std::size_t i = 0; i < scene.ops.size(); ++i) {
                const Op& op = scene.ops[i];
                if (op.kind == 0)
                    rects.fill(op.rect, op.colour);
                else if (op.kind == 1)
                    rects.copy(op.rect, scene.source, op.source);
                else
                    rects.texture(op.rect, scene.brushes[std::size_t(op.brush)], op.originX);
                if (i == scene.ops.size() / 2)
                    rects.flush();
            }
            rects.flush();
            wroteDirectly = rects.wroteDirectly();
        }
        QCOMPARE(wroteDirectly, direct);
        QVERIFY2(image == expected, qPrintable(QString("seed %1").arg(seed)));
    }
}

QTEST_MAIN(TestOpaqueRects)
#include "tst_opaquerects.moc"
