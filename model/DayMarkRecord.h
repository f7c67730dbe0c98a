#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Which projects are checked on one day: byte k belongs to the project at list position k.
struct DayMarkRecord
{
    static constexpr int kMaxProjects = 100; // positions from here on can never be checked

    std::uint8_t m_bChecked[kMaxProjects];
    std::uint8_t m_reserved100[20];
};

static_assert(std::is_trivially_copyable_v<DayMarkRecord> && std::is_standard_layout_v<DayMarkRecord>);
static_assert(sizeof(DayMarkRecord) == 120);
static_assert(offsetof(DayMarkRecord, m_bChecked) == 0);
static_assert(offsetof(DayMarkRecord, m_reserved100) == 100);
