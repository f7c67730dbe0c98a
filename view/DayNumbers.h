#pragma once

#include <QFont>
#include <QRect>
#include <QStaticText>

#include <array>

class QFontMetrics;
class QTransform;

// The day numbers "01" to "31" in the day font, measured once per paint: their advances and the union of
// their ink. Static texts are laid out only for a paint that draws them.
class DayNumbers
{
public:
    DayNumbers(const QFont& font, const QFontMetrics& metrics);

    static QString text(int dayIndex) { return QString::asprintf("%02d", dayIndex + 1); }
    int width(int dayIndex) const { return m_width[std::size_t(dayIndex)]; }
    int maxWidth() const { return m_maxWidth; }
    // Relative to the top-left corner of the text box.
    QRect ink() const { return m_ink; }

    void prepareStaticTexts(const QTransform& transform);
    const QStaticText& staticText(int dayIndex) const { return m_text[std::size_t(dayIndex)]; }

private:
    QFont m_font;
    std::array<QStaticText, 31> m_text;
    std::array<int, 31> m_width{};
    int m_maxWidth = 0;
    QRect m_ink;
};
