#pragma once

#include "SystemTime.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Whether a day's red day repeats every year, and the date it was stored on. Whether the day is a red day
// at all is decided by its text, not by this record.
struct RedDayRecord
{
    std::uint8_t m_bEveryYear;
    std::uint8_t m_reserved1;
    SYSTEMTIME m_stDate; // only wMonth and wDay are used again
    std::uint8_t m_reserved18[6];
};

static_assert(std::is_trivially_copyable_v<RedDayRecord> && std::is_standard_layout_v<RedDayRecord>);
static_assert(sizeof(RedDayRecord) == 24);
static_assert(offsetof(RedDayRecord, m_bEveryYear) == 0);
static_assert(offsetof(RedDayRecord, m_reserved1) == 1);
static_assert(offsetof(RedDayRecord, m_stDate) == 2);
static_assert(offsetof(RedDayRecord, m_reserved18) == 18);
