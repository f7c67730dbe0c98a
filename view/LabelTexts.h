#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QStaticText>
#include <QString>
#include <QTransform>

class QPaintDevice;

// Texts drawn in one font on one device (the year, the month names, the month numbers), measured once:
// laying text out is the better part of a large paint's fixed cost. Static texts are laid out for the
// transform of the paint that asks for them and kept while it stays the same.
class LabelTexts
{
public:
    struct Label
    {
        int advance = 0;
        // The rows the glyphs' ink covers, from the top of the text box; a line of Latin text reaches as
        // far up and down as its glyphs do, which the text's own bounding box need not tell.
        int inkTop = 0;
        int inkBottom = 0;
        QRect bounds; // the text's own bounding box, from its baseline
    };

    LabelTexts(const QFont& font, const QPaintDevice* device);

    const QFontMetrics& metrics() const { return m_metrics; }
    const Label& label(const QString& text);
    const QStaticText& staticText(const QString& text, const QTransform& transform);

private:
    QFont m_font;
    QFontMetrics m_metrics;
    QHash<QString, Label> m_labels;
    QHash<QString, QStaticText> m_staticTexts;
    QTransform m_prepared;
};
