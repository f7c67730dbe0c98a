#pragma once

#include "ArchiveError.h"
#include "RecordList.h"
#include "StringList.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <utility>

class QIODevice;

// Reads items of the archive byte format from bytes in memory. Every count and length is checked against
// the bytes that remain before anything is allocated, so a hostile count costs nothing; damage throws
// ArchiveError with the offset of the item and the reason.
//
// A list cut short keeps what was present, as the old readers did: its records are filled from the bytes
// that remain and the rest are zero, its texts are read up to the cut and the rest are empty. It is padded
// to its full count only while that costs at most kMaxPadBytes beyond the file; a larger count is
// treated as hostile and the list keeps just the entries the remaining bytes can hold. A text list may
// also be given the most entries it can have (the codecs know them): a count above that is damage before
// anything is allocated, since an empty text takes one byte on disk but a list slot in memory.
class ArchiveReader
{
public:
    // Enough for a whole per-day list (370 x 120 bytes) cut right after its count.
    static constexpr qsizetype kMaxPadBytes = 64 * 1024;
    // Any count the format can express.
    static constexpr qsizetype kNoCountLimit = qsizetype(0xFFFFFFFFu);

    explicit ArchiveReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    // Reads everything the device still holds; offsets count from its current position.
    explicit ArchiveReader(QIODevice& device);

    qsizetype pos() const { return m_pos; }
    qsizetype size() const { return m_bytes.size(); }
    qsizetype remaining() const { return m_bytes.size() - m_pos; }
    bool atEnd() const { return m_pos >= m_bytes.size(); }

    quint32 readCount();
    // All or nothing: throws without touching `dst` when fewer than `size` bytes remain.
    void readRaw(void* dst, qsizetype size);
    void skip(qsizetype size);
    QByteArray readString();

    // Replaces the list's content with the stored list.
    template <typename T> void readRecordList(RecordList<T>& list)
    {
        const qsizetype start = m_pos;
        const quint32 n = readCount();
        const qsizetype need = qsizetype(n) * qsizetype(sizeof(T));
        const qsizetype have = remaining();
        if (need <= have) {
            list.setCount(n); // every byte is overwritten below
            if (need > 0)
                std::memcpy(static_cast<void*>(list.data()), ptr(), std::size_t(need));
            m_pos += need;
            return;
        }
        const qsizetype keep = need - have <= kMaxPadBytes
                                   ? qsizetype(n)
                                   : (have + qsizetype(sizeof(T)) - 1) / qsizetype(sizeof(T));
        list.clear();
        list.setCount(keep);
        if (have > 0)
            std::memcpy(static_cast<void*>(list.data()), ptr(), std::size_t(have));
        m_pos = size();
        fail(start, QStringLiteral("a list of %1 records of %2 bytes runs past the end (%3 bytes left)")
                        .arg(n)
                        .arg(sizeof(T))
                        .arg(have));
    }

    // Replaces the list's content with the stored list. A count above `maxCount` is damage: it throws
    // before the list is touched, so a claim no real list makes costs nothing.
    void readStringList(StringList& list, qsizetype maxCount = kNoCountLimit);

    [[noreturn]] static void fail(qsizetype offset, const QString& reason)
    {
        throw ArchiveError(offset, reason);
    }

private:
    const char* ptr() const { return m_bytes.constData() + m_pos; }
    std::uint16_t readU16();
    std::uint32_t readU32();
    void need(qsizetype size, const char* what);
    qsizetype textAt(qsizetype at, qsizetype& length) const;
    bool readSoundTexts(StringList& list, qsizetype count);

    QByteArray m_bytes;
    qsizetype m_pos = 0;
};
