#include "QtConversion.h"

#include "FontSizeCache.h"
#include "TextCodec.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <algorithm>

namespace {

constexpr int kDefaultCellHeight = 16;
constexpr int kMaxPixelSize = 2000; // larger sizes only come from damaged files
constexpr std::uint8_t kNonAntialiasedQuality = 3;

int cellHeightAt(QFont font, int pixelSize)
{
    font.setPixelSize(pixelSize);
    return QFontMetrics(font).height();
}

// The largest pixel size whose cell height fits; 1 when none does.
int pixelSizeForCellHeight(const QFont& font, int cellHeight)
{
    constexpr int kProbe = 100;
    const int probeHeight = std::max(1, cellHeightAt(font, kProbe));
    int size = std::clamp(int(qint64(cellHeight) * kProbe / probeHeight), 1, kMaxPixelSize);
    // The estimate is off by rounding at most; a few steps settle it.
    while (size > 1 && cellHeightAt(font, size) > cellHeight)
        --size;
    while (size < kMaxPixelSize && cellHeightAt(font, size + 1) <= cellHeight)
        ++size;
    return size;
}

// Arial or a font made to its metrics. Those not installed are left out: Qt would ask fontconfig for an
// alias of each, which costs more than the font itself. Looked up once: each look goes over every family.
const QStringList& arialFamilies()
{
    static const QStringList families = [] {
        const QStringList wanted{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Arimo")};
        const QStringList all = QFontDatabase::families();
        QStringList installed;
        for (const QString& family : wanted) {
            if (all.contains(family, Qt::CaseInsensitive))
                installed.append(family);
        }
        return installed.isEmpty() ? wanted : installed;
    }();
    return families;
}

} // namespace

QFont fontFromLogFont(const LOGFONTA& lf)
{
    const QByteArray faceBytes(lf.lfFaceName, qsizetype(qstrnlen(lf.lfFaceName, sizeof lf.lfFaceName)));
    QString face = TextCodec::decode(faceBytes).trimmed();
    if (face.isEmpty())
        face = QStringLiteral("Arial");

    QFont font;
    if (face.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0) {
        font.setFamilies(arialFamilies());
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setFamilies({face});
    }
    if (lf.lfWeight > 0)
        font.setWeight(QFont::Weight(std::clamp(lf.lfWeight, 1, 1000)));
    else
        font.setWeight(QFont::Normal);
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    if (lf.lfQuality == kNonAntialiasedQuality)
        font.setStyleStrategy(QFont::NoAntialias);

    if (lf.lfHeight < 0) {
        font.setPixelSize(int(std::min<qint64>(-qint64(lf.lfHeight), kMaxPixelSize)));
        return font;
    }
    const int cellHeight = lf.lfHeight > 0 ? lf.lfHeight : kDefaultCellHeight;
    // Everything of the font but its size, which is what is looked for.
    const QString key = font.families().join(u'/') + QStringLiteral("|%1|%2|%3|%4")
                                                         .arg(int(font.weight()))
                                                         .arg(int(font.italic()))
                                                         .arg(int(font.styleStrategy()))
                                                         .arg(cellHeight);
    font.setPixelSize(FontSizeCache::instance().pixelSize(
        key, [font, cellHeight](int size) { return cellHeightAt(font, size) <= cellHeight; },
        [font, cellHeight] { return pixelSizeForCellHeight(font, cellHeight); }));
    return font;
}
