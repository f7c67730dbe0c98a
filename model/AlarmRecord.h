#pragma once

#include "SystemTime.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// A day's alarm moment and its state. 18 bytes, no padding.
struct AlarmRecord
{
    std::uint8_t m_bOn;
    std::uint8_t m_bFired;
    SYSTEMTIME m_stWhen; // local time; wYear 0 means the record was never set
};

static_assert(std::is_trivially_copyable_v<AlarmRecord> && std::is_standard_layout_v<AlarmRecord>);
static_assert(sizeof(AlarmRecord) == 18);
static_assert(offsetof(AlarmRecord, m_bOn) == 0);
static_assert(offsetof(AlarmRecord, m_bFired) == 1);
static_assert(offsetof(AlarmRecord, m_stWhen) == 2);
