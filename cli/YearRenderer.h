#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QPainter;
struct DisplaySettings;
struct YearData;

// Paints a year the way the year window paints it at a given size (white surface and text background, the
// pen and fonts made from the year's settings, a damaged list ending the paint where it stands), into an
// image or into a PNG, one-page PDF or SVG file.
class YearRenderer
{
public:
    enum class Format { Png, Pdf, Svg, Unknown };

    static constexpr QSize kDefaultSize{1200, 800};

    // `settings` as the window draws with them; lists.m_settings is where the pen and fonts come from.
    YearRenderer(const DisplaySettings& settings, const YearData& lists);

    // Chosen by the file's extension, case-insensitively.
    static Format formatFor(const QString& path);

    QImage image(QSize size) const;
    // Writes the whole file or nothing (the previous file stays); false with `error` set on failure.
    bool write(const QString& path, QSize size, QString& error) const;

private:
    void paint(QPainter& painter, QSize size) const;

    const DisplaySettings& m_settings;
    const YearData& m_lists;
};
