#include "ForeverRedDaysFileCodec.h"

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Calendar.h"

#include <algorithm>
#include <array>

namespace {

struct Item
{
    void (*write)(ArchiveWriter& out, const ForeverRedDays& everyYear);
    void (*read)(ArchiveReader& in, ForeverRedDays& everyYear);
};

constexpr std::array<Item, 2> kItems = {
    Item{[](ArchiveWriter& out, const ForeverRedDays& f) { out.writeRecordList(f.m_foreverRedDays); },
         [](ArchiveReader& in, ForeverRedDays& f) { in.readRecordList(f.m_foreverRedDays); }},
    Item{[](ArchiveWriter& out, const ForeverRedDays& f) { out.writeStringList(f.m_foreverRedTexts); },
         [](ArchiveReader& in, ForeverRedDays& f) {
             in.readStringList(f.m_foreverRedTexts, std::max(f.m_foreverRedDays.count(),
                                                             ForeverRedDaysFileCodec::kMaxTextListCount));
         }},
};

// A leap year: every month and day that exists in some year exists in it.
constexpr int kLeapYear = 2000;

} // namespace

QByteArray ForeverRedDaysFileCodec::encode(const ForeverRedDays& everyYear)
{
    ArchiveWriter out;
    for (const Item& item : kItems)
        item.write(out, everyYear);
    return out.takeData();
}

void ForeverRedDaysFileCodec::decode(const QByteArray& bytes, ForeverRedDays& everyYear)
{
    everyYear.clear();
    if (bytes.isEmpty())
        return;
    ArchiveReader in(bytes);
    for (const Item& item : kItems)
        item.read(in, everyYear);
}

int ForeverRedDaysFileCodec::damagedEntries(const ForeverRedDays& everyYear)
{
    const qsizetype days = everyYear.m_foreverRedDays.count();
    const qsizetype texts = everyYear.m_foreverRedTexts.count();
    int damaged = texts > days ? 1 : 0;
    for (qsizetype i = 0; i < days; ++i) {
        const RedDayRecord& entry = everyYear.m_foreverRedDays.at(i);
        if (!Calendar::isValidDate(kLeapYear, entry.m_stDate.wMonth, entry.m_stDate.wDay))
            ++damaged;
        else if (i >= texts)
            ++damaged;
    }
    return damaged;
}
