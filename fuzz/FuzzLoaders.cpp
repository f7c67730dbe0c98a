#include "FuzzLoaders.h"

#include "ArchiveError.h"
#include "Calendar.h"
#include "DataStore.h"

#include <cstring>

namespace {

bool sameYear(YearData a, YearData b)
{
    a.m_settings.clearLinkSlots();
    b.m_settings.clearLinkSlots();
    return a == b;
}

// A year, damaged or not, writes bytes that read back cleanly as the same year.
bool yearRoundTrips(const YearData& year, const DisplaySettings& defaults)
{
    YearData again;
    try {
        YearFileCodec::decode(YearFileCodec::encode(year), again, defaults);
    } catch (const ArchiveError&) {
        return false;
    }
    return sameYear(year, again);
}

bool foreverRoundTrips(const ForeverRedDays& everyYear)
{
    ForeverRedDays again;
    try {
        ForeverRedDaysFileCodec::decode(ForeverRedDaysFileCodec::encode(everyYear), again);
    } catch (const ArchiveError&) {
        return false;
    }
    return again.m_foreverRedDays == everyYear.m_foreverRedDays &&
           again.m_foreverRedTexts == everyYear.m_foreverRedTexts;
}

} // namespace

bool fuzzLoaders(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const DisplaySettings defaults = DisplaySettings::builtInDefaults(Calendar::makeDate(2000, 1, 1));

    YearData year;
    try {
        YearFileCodec::decode(bytes, year, defaults);
    } catch (const ArchiveError&) {
    }
    if (!yearRoundTrips(year, defaults))
        return false;

    try {
        const DisplaySettings settings = DefaultsFileCodec::decode(bytes);
        if (DefaultsFileCodec::decode(DefaultsFileCodec::encode(settings)).m_nMargin != settings.m_nMargin)
            return false;
    } catch (const ArchiveError&) {
    }

    // Merged into a common and a leap year, then collected for saving as the view would.
    for (const int y : {2011, 2012}) {
        ForeverRedDays everyYear;
        try {
            ForeverRedDaysFileCodec::decode(bytes, everyYear);
        } catch (const ArchiveError&) {
        }
        if (!foreverRoundTrips(everyYear))
            return false;
        YearData target;
        target.reset();
        target.m_settings.m_stSelected = Calendar::makeDate(y, 1, 1);
        everyYear.mergeInto(target);
        const qsizetype kept = everyYear.m_keptDays.count();
        everyYear.collectFrom(target);
        if (everyYear.m_foreverRedDays.count() < kept || !foreverRoundTrips(everyYear))
            return false;
    }
    return true;
}
