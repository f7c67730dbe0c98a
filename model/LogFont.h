#pragma once

#include <cstddef>
#include <cstdint>

// A font description as stored in the settings record (60 bytes, face name in 8-bit text).
struct LOGFONTA
{
    std::int32_t lfHeight; // > 0: cell height in pixels; < 0: character height
    std::int32_t lfWidth;
    std::int32_t lfEscapement;
    std::int32_t lfOrientation;
    std::int32_t lfWeight; // 400 normal, 700 bold
    std::uint8_t lfItalic;
    std::uint8_t lfUnderline;
    std::uint8_t lfStrikeOut;
    std::uint8_t lfCharSet;
    std::uint8_t lfOutPrecision;
    std::uint8_t lfClipPrecision;
    std::uint8_t lfQuality;
    std::uint8_t lfPitchAndFamily;
    char lfFaceName[32]; // zero-terminated unless all 32 bytes are used
};

static_assert(sizeof(LOGFONTA) == 60);
static_assert(offsetof(LOGFONTA, lfHeight) == 0);
static_assert(offsetof(LOGFONTA, lfWidth) == 4);
static_assert(offsetof(LOGFONTA, lfEscapement) == 8);
static_assert(offsetof(LOGFONTA, lfOrientation) == 12);
static_assert(offsetof(LOGFONTA, lfWeight) == 16);
static_assert(offsetof(LOGFONTA, lfItalic) == 20);
static_assert(offsetof(LOGFONTA, lfUnderline) == 21);
static_assert(offsetof(LOGFONTA, lfStrikeOut) == 22);
static_assert(offsetof(LOGFONTA, lfCharSet) == 23);
static_assert(offsetof(LOGFONTA, lfOutPrecision) == 24);
static_assert(offsetof(LOGFONTA, lfClipPrecision) == 25);
static_assert(offsetof(LOGFONTA, lfQuality) == 26);
static_assert(offsetof(LOGFONTA, lfPitchAndFamily) == 27);
static_assert(offsetof(LOGFONTA, lfFaceName) == 28);
