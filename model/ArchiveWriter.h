#pragma once

#include "RecordList.h"
#include "StringList.h"

#include <QByteArray>

#include <cstdint>

// Appends items of the archive byte format to a buffer: counts, raw records and length-prefixed 8-bit
// strings, little-endian, no header and no alignment. The buffer is written to a file in one piece.
class ArchiveWriter
{
public:
    void reserve(qsizetype bytes) { m_bytes.reserve(bytes); }

    // Below 0xFFFF: 16 bits. From 0xFFFF on: the marker FF FF, then 32 bits.
    void writeCount(qsizetype n);
    void writeRaw(const void* data, qsizetype size);
    // Prefix: one byte below 255; FF + 16 bits below 0xFFFE; FF FF FF + 32 bits beyond.
    void writeString(const QByteArray& s);

    template <typename T> void writeRecordList(const RecordList<T>& list)
    {
        writeCount(list.count());
        writeRaw(list.data(), list.count() * qsizetype(sizeof(T)));
    }
    void writeStringList(const StringList& list);

    const QByteArray& data() const { return m_bytes; }
    QByteArray takeData() { return std::move(m_bytes); }

private:
    void writeU8(std::uint8_t v) { m_bytes.append(char(v)); }
    void writeU16(std::uint16_t v);
    void writeU32(std::uint32_t v);

    QByteArray m_bytes;
};
