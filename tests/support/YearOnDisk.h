#pragma once

#include "Calendar.h"
#include "DataStore.h"
#include "YearData.h"

namespace TestSupport {

// What a year's file holds now, read the way the planner reads it.
inline YearData yearOnDisk(const DataStore& store, int year, const DisplaySettings& defaults)
{
    YearData data;
    data.reset();
    data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
    store.loadYear(data, defaults);
    return data;
}

} // namespace TestSupport
