#pragma once

#include <cstddef>
#include <cstdint>

// A broken-down moment as stored in the records: eight unsigned 16-bit fields, 2-byte aligned.
struct SYSTEMTIME
{
    std::uint16_t wYear;
    std::uint16_t wMonth;     // 1..12
    std::uint16_t wDayOfWeek; // 0 = Sunday
    std::uint16_t wDay;
    std::uint16_t wHour;
    std::uint16_t wMinute;
    std::uint16_t wSecond;
    std::uint16_t wMilliseconds;

    friend bool operator==(const SYSTEMTIME&, const SYSTEMTIME&) = default;
};

static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(alignof(SYSTEMTIME) == 2);
static_assert(offsetof(SYSTEMTIME, wYear) == 0);
static_assert(offsetof(SYSTEMTIME, wMonth) == 2);
static_assert(offsetof(SYSTEMTIME, wDayOfWeek) == 4);
static_assert(offsetof(SYSTEMTIME, wDay) == 6);
static_assert(offsetof(SYSTEMTIME, wHour) == 8);
static_assert(offsetof(SYSTEMTIME, wMinute) == 10);
static_assert(offsetof(SYSTEMTIME, wSecond) == 12);
static_assert(offsetof(SYSTEMTIME, wMilliseconds) == 14);
