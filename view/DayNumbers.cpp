#include "DayNumbers.h"

#include <QFontMetrics>

#include <algorithm>

DayNumbers::DayNumbers(const QFont& font, const QFontMetrics& metrics) : m_font(font)
{
    for (int i = 0; i < 31; ++i) {
        const QString s = text(i);
        m_width[std::size_t(i)] = metrics.horizontalAdvance(s);
        m_maxWidth = std::max(m_maxWidth, m_width[std::size_t(i)]);
        m_ink |= metrics.boundingRect(s).translated(0, metrics.ascent());
    }
}

void DayNumbers::prepareStaticTexts(const QTransform& transform)
{
    for (int i = 0; i < 31; ++i) {
        QStaticText& t = m_text[std::size_t(i)];
        t.setText(text(i));
        t.setTextFormat(Qt::PlainText);
        t.prepare(transform, m_font);
    }
}
