#pragma once

#include "YearData.h"

#include <QByteArray>

// The bytes of a year file in memory, without any file operation. The nine items, in file order: the
// settings as a one-record list, the day marks, red days, projects and alarms as record lists, and the
// names, memos, alarm texts and red-day texts as text lists. One table of them drives both directions.
class YearFileCodec
{
public:
    // Per-day lists hold 370 entries and the names one per project. A text list claiming more than this,
    // and for the names more than the projects too, is damage rather than a reason to allocate.
    static constexpr qsizetype kMaxTextListCount = 4096;

    static QByteArray encode(const YearData& year);

    // Fills `year` from `bytes`, replacing every list. Empty bytes (an interrupted save of the old
    // platform) give a reset year with `defaults` as its settings. At damage it throws ArchiveError (offset
    // and reason) after leaving the items before the damage read, the damaged list's readable part, and
    // every later item in its reset state; settings that cannot be read whole are `defaults`.
    static void decode(const QByteArray& bytes, YearData& year, const DisplaySettings& defaults);
};
