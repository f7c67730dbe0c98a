#include "LabelTexts.h"

#include <QPaintDevice>

#include <algorithm>

LabelTexts::LabelTexts(const QFont& font, const QPaintDevice* device)
    : m_font(font), m_metrics(font, const_cast<QPaintDevice*>(device))
{
}

const LabelTexts::Label& LabelTexts::label(const QString& text)
{
    const auto found = m_labels.constFind(text);
    if (found != m_labels.constEnd())
        return *found;
    Label l;
    l.advance = m_metrics.horizontalAdvance(text);
    l.bounds = m_metrics.boundingRect(text);
    l.inkTop = 0;
    l.inkBottom = m_metrics.height() - 1;
    for (const QChar c : text) {
        const QRect ink = m_metrics.boundingRect(c).translated(0, m_metrics.ascent());
        l.inkTop = std::min(l.inkTop, ink.top());
        l.inkBottom = std::max(l.inkBottom, ink.bottom());
    }
    return *m_labels.insert(text, l);
}

const QStaticText& LabelTexts::staticText(const QString& text, const QTransform& transform)
{
    if (transform != m_prepared) {
        m_staticTexts.clear();
        m_prepared = transform;
    }
    auto found = m_staticTexts.find(text);
    if (found == m_staticTexts.end()) {
        QStaticText t(text);
        t.setTextFormat(Qt::PlainText);
        t.prepare(transform, m_font);
        found = m_staticTexts.insert(text, t);
    }
    return *found;
}
