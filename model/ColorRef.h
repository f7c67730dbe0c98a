#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// The data files are raw little-endian images of these records; a big-endian host would need swapping.
static_assert(std::endian::native == std::endian::little, "record images are stored little-endian");

// 0x00BBGGRR: red in the low byte.
using COLORREF = std::uint32_t;

constexpr COLORREF makeColorRef(int r, int g, int b)
{
    return COLORREF(std::uint8_t(r)) | (COLORREF(std::uint8_t(g)) << 8) | (COLORREF(std::uint8_t(b)) << 16);
}
constexpr int colorRefRed(COLORREF c)
{
    return int(c & 0xFF);
}
constexpr int colorRefGreen(COLORREF c)
{
    return int((c >> 8) & 0xFF);
}
constexpr int colorRefBlue(COLORREF c)
{
    return int((c >> 16) & 0xFF);
}
