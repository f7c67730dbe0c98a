#include "TextCodec.h"

#include <QStringDecoder>

#include <array>
#include <cstdint>

namespace TextCodec {

namespace {

// Windows-1252 bytes 0x80..0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90, 0x9D map to the same C1 code point.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool toCp1252(char16_t c, char& out)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out = char(c);
        return true;
    }
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == c) {
            out = char(0x80 + i);
            return true;
        }
    }
    return false;
}

bool hasNonAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (std::uint8_t(c) >= 0x80)
            return true;
    return false;
}

} // namespace

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const std::uint8_t b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int extra;
        std::uint32_t cp;
        std::uint32_t min;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, cp = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, cp = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, cp = b & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

QString decode(const QByteArray& bytes)
{
    if (isValidUtf8(bytes)) {
        // QString::fromUtf8 drops a leading byte-order mark, which is a character of the text here.
        if (bytes.startsWith("\xEF\xBB\xBF"))
            return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(bytes);
        return QString::fromUtf8(bytes);
    }
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = std::uint8_t(c);
        out += QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

QByteArray encode(const QString& text)
{
    QByteArray cp1252;
    cp1252.reserve(text.size());
    for (QChar ch : text) {
        char b;
        if (!toCp1252(ch.unicode(), b))
            return text.toUtf8();
        cp1252 += b;
    }
    // Bytes that would read back as UTF-8 with non-ASCII content would decode to another text.
    if (hasNonAscii(cp1252) && isValidUtf8(cp1252))
        return text.toUtf8();
    return cp1252;
}

QByteArray reencode(const QString& edited, const QByteArray& original)
{
    return decode(original) == edited ? original : encode(edited);
}

} // namespace TextCodec
