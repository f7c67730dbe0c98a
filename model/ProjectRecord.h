#pragma once

#include "ColorRef.h"
#include "SystemTime.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// One project: its period, colour and long-line flag. Its name is the entry at the same position of the
// names list, and its position is its identity (slot in a cell, byte in every DayMarkRecord).
struct ProjectRecord
{
    std::uint8_t m_bLongLine;
    std::uint8_t m_reserved1;
    SYSTEMTIME m_stStart; // local time; a year below 1900 counts as "before every day"
    SYSTEMTIME m_stEnd;   // local time; a year below 1900 counts as "before every day"
    std::uint8_t m_reserved34[2];
    COLORREF m_crColor;
};

static_assert(std::is_trivially_copyable_v<ProjectRecord> && std::is_standard_layout_v<ProjectRecord>);
static_assert(sizeof(ProjectRecord) == 40);
static_assert(offsetof(ProjectRecord, m_bLongLine) == 0);
static_assert(offsetof(ProjectRecord, m_reserved1) == 1);
static_assert(offsetof(ProjectRecord, m_stStart) == 2);
static_assert(offsetof(ProjectRecord, m_stEnd) == 18);
static_assert(offsetof(ProjectRecord, m_reserved34) == 34);
static_assert(offsetof(ProjectRecord, m_crColor) == 36);
