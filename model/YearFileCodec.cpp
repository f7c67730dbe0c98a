#include "YearFileCodec.h"

#include "ArchiveError.h"
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "DefaultsFileCodec.h"

#include <algorithm>
#include <array>

namespace {

struct Reading
{
    YearData& year;
    bool settingsRead = false; // the first settings record was read whole
};

// One item of the file.
struct Item
{
    qsizetype (*encodedSize)(const YearData& year); // an upper bound, to size the buffer once
    void (*write)(ArchiveWriter& out, const YearData& year);
    void (*read)(ArchiveReader& in, Reading& reading);
};

constexpr qsizetype kCountSize = 6; // the long form

constexpr Item settingsItem()
{
    return {[](const YearData&) { return kCountSize + qsizetype(sizeof(DisplaySettings)); },
            [](ArchiveWriter& out, const YearData& y) {
                DefaultsFileCodec::writeSettingsList(out, y.m_settings);
            },
            [](ArchiveReader& in, Reading& r) {
                const quint32 n = DefaultsFileCodec::readFirstSettings(in, r.year.m_settings);
                r.settingsRead = true;
                // Other writers may store more than one record; only the first counts.
                in.skip(qsizetype(n - 1) * qsizetype(sizeof(DisplaySettings)));
            }};
}

template <auto list> constexpr Item recordList()
{
    return {[](const YearData& y) {
                return kCountSize + (y.*list).count() * qsizetype(sizeof(*(y.*list).data()));
            },
            [](ArchiveWriter& out, const YearData& y) { out.writeRecordList(y.*list); },
            [](ArchiveReader& in, Reading& r) { in.readRecordList(r.year.*list); }};
}

template <auto list, qsizetype (*maxCount)(const YearData&)> constexpr Item textList()
{
    return {[](const YearData& y) {
                qsizetype size = kCountSize;
                for (const QByteArray& s : y.*list)
                    size += 1 + (s.size() < 0xFF ? 0 : 6) + s.size();
                return size;
            },
            [](ArchiveWriter& out, const YearData& y) { out.writeStringList(y.*list); },
            [](ArchiveReader& in, Reading& r) { in.readStringList(r.year.*list, maxCount(r.year)); }};
}

qsizetype maxDayTexts(const YearData&)
{
    return YearFileCodec::kMaxTextListCount;
}

// The projects come before the names in the file, so their count is known here.
qsizetype maxNames(const YearData& y)
{
    return std::max(y.m_projects.count(), YearFileCodec::kMaxTextListCount);
}

constexpr std::array<Item, 9> kItems = {
    settingsItem(),
    recordList<&YearData::m_dayMarks>(),
    recordList<&YearData::m_redDays>(),
    recordList<&YearData::m_projects>(),
    recordList<&YearData::m_alarms>(),
    textList<&YearData::m_names, maxNames>(),
    textList<&YearData::m_memos, maxDayTexts>(),
    textList<&YearData::m_alarmTexts, maxDayTexts>(),
    textList<&YearData::m_redTexts, maxDayTexts>(),
};

void readItems(const QByteArray& bytes, Reading& reading)
{
    ArchiveReader in(bytes);
    for (const Item& item : kItems)
        item.read(in, reading);
}

} // namespace

QByteArray YearFileCodec::encode(const YearData& year)
{
    qsizetype size = 0;
    for (const Item& item : kItems)
        size += item.encodedSize(year);
    ArchiveWriter out;
    out.reserve(size);
    for (const Item& item : kItems)
        item.write(out, year);
    return out.takeData();
}

void YearFileCodec::decode(const QByteArray& bytes, YearData& year, const DisplaySettings& defaults)
{
    if (bytes.isEmpty()) {
        year.reset();
        year.m_settings = defaults;
        return;
    }
    // A whole file replaces every item, so the lists are filled in place without a reset first.
    try {
        Reading reading{year};
        readItems(bytes, reading);
        return;
    } catch (const ArchiveError&) {
    }
    // Damaged: read again into a reset year, so that the items past the damage keep their reset state.
    year.reset();
    Reading reading{year};
    try {
        readItems(bytes, reading);
    } catch (const ArchiveError&) {
        if (!reading.settingsRead)
            year.m_settings = defaults;
        throw;
    }
}
