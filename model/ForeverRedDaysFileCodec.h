#pragma once

#include "ForeverRedDays.h"

#include <QByteArray>

// The bytes of ForeverRedDays.year in memory, without any file operation: a record list of the every-year
// red days, then the list of their texts. One table of the two items drives both directions.
class ForeverRedDaysFileCodec
{
public:
    // More texts than this beyond the records is damage rather than a reason to allocate.
    static constexpr qsizetype kMaxTextListCount = 4096;

    // Writes m_foreverRedDays and m_foreverRedTexts as they stand.
    static QByteArray encode(const ForeverRedDays& everyYear);
    // Clears `everyYear` and fills its two lists; empty bytes are no entries. At damage it throws
    // ArchiveError after leaving the readable part in place.
    static void decode(const QByteArray& bytes, ForeverRedDays& everyYear);

    // Entries that no year can use, counted as ForeverRedDays::mergeInto counts them: a month and day that
    // form no date in any year, a record without its text, and (once) texts beyond the records.
    static int damagedEntries(const ForeverRedDays& everyYear);
};
