#include "ArchiveWriter.h"

#include "InvalidArgument.h"

#include <string>

void ArchiveWriter::writeU16(std::uint16_t v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    m_bytes.append(b, 2);
}

void ArchiveWriter::writeU32(std::uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    m_bytes.append(b, 4);
}

void ArchiveWriter::writeCount(qsizetype n)
{
    if (n < 0 || quint64(n) > 0xFFFFFFFFu)
        throwInvalidArgument("count " + std::to_string(n) + " does not fit the archive format");
    if (n < 0xFFFF) {
        writeU16(std::uint16_t(n));
    } else {
        writeU16(0xFFFF);
        writeU32(std::uint32_t(n));
    }
}

void ArchiveWriter::writeRaw(const void* data, qsizetype size)
{
    if (size > 0)
        m_bytes.append(static_cast<const char*>(data), size);
}

void ArchiveWriter::writeString(const QByteArray& s)
{
    const qsizetype n = s.size();
    if (quint64(n) > 0xFFFFFFFFu)
        throwInvalidArgument("text of " + std::to_string(n) + " bytes does not fit the archive format");
    if (n < 0xFF) {
        writeU8(std::uint8_t(n));
    } else if (n < 0xFFFE) {
        writeU8(0xFF);
        writeU16(std::uint16_t(n));
    } else {
        writeU8(0xFF);
        writeU16(0xFFFF);
        writeU32(std::uint32_t(n));
    }
    m_bytes.append(s);
}

void ArchiveWriter::writeStringList(const StringList& list)
{
    writeCount(list.count());
    for (const QByteArray& s : list)
        writeString(s);
}
