#include "ArchiveReader.h"

#include <QIODevice>

#include <new>

ArchiveReader::ArchiveReader(QIODevice& device) : m_bytes(device.readAll()) {}

void ArchiveReader::need(qsizetype size, const char* what)
{
    if (size > remaining())
        fail(m_pos, QStringLiteral("%1 of %2 bytes runs past the end (%3 bytes left)")
                        .arg(QLatin1StringView(what))
                        .arg(size)
                        .arg(remaining()));
}

std::uint16_t ArchiveReader::readU16()
{
    need(2, "a value");
    const auto* p = reinterpret_cast<const std::uint8_t*>(ptr());
    m_pos += 2;
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t ArchiveReader::readU32()
{
    need(4, "a value");
    const auto* p = reinterpret_cast<const std::uint8_t*>(ptr());
    m_pos += 4;
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

quint32 ArchiveReader::readCount()
{
    const qsizetype start = m_pos;
    if (remaining() < 2)
        fail(start, QStringLiteral("a count runs past the end (%1 bytes left)").arg(remaining()));
    const std::uint16_t n = readU16();
    if (n != 0xFFFF)
        return n;
    if (remaining() < 4)
        fail(start, QStringLiteral("a 32-bit count runs past the end (%1 bytes left)").arg(remaining() + 2));
    return readU32();
}

void ArchiveReader::readRaw(void* dst, qsizetype size)
{
    need(size, "a record");
    if (size > 0)
        std::memcpy(dst, ptr(), std::size_t(size));
    m_pos += size;
}

void ArchiveReader::skip(qsizetype size)
{
    need(size, "a record");
    m_pos += size;
}

QByteArray ArchiveReader::readString()
{
    const qsizetype start = m_pos;
    const auto prefixCut = [&] {
        fail(start,
             QStringLiteral("a text's length prefix runs past the end (%1 bytes left)").arg(size() - start));
    };
    if (remaining() < 1)
        prefixCut();
    qsizetype length = std::uint8_t(m_bytes.constData()[m_pos++]);
    if (length == 0xFF) {
        if (remaining() < 2)
            prefixCut();
        length = readU16();
        if (length == 0xFFFE)
            fail(start,
                 QStringLiteral("a text has the length prefix FF FE FF, which this format never uses"));
        if (length == 0xFFFF) {
            if (remaining() < 4)
                prefixCut();
            length = readU32();
        }
    }
    if (length > remaining())
        fail(start, QStringLiteral("a text of %1 bytes runs past the end (%2 bytes left)")
                        .arg(length)
                        .arg(remaining()));
    if (length == 0)
        return QByteArray();
    QByteArray s(ptr(), length);
    m_pos += length;
    return s;
}

// Where the text that starts at `at` begins and how long it is, or -1 where reading it would fail; never
// throws, for the pass that sizes a list's storage before readString would report any damage.
qsizetype ArchiveReader::textAt(qsizetype at, qsizetype& length) const
{
    const auto* b = reinterpret_cast<const std::uint8_t*>(m_bytes.constData());
    const qsizetype end = m_bytes.size();
    if (at >= end)
        return -1;
    length = b[at++];
    if (length == 0xFF) {
        if (end - at < 2)
            return -1;
        length = b[at] | (b[at + 1] << 8);
        at += 2;
        if (length == 0xFFFE)
            return -1;
        if (length == 0xFFFF) {
            if (end - at < 4)
                return -1;
            length = qsizetype(std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) |
                               (std::uint32_t(b[at + 2]) << 16) | (std::uint32_t(b[at + 3]) << 24));
            at += 4;
        }
    }
    return length <= end - at ? at : -1;
}

// The texts of a sound list share one block: one allocation for the list instead of one per text. Each
// text ends in a zero byte inside the block, as QByteArray promises, and a write to any of them detaches
// it from the others as usual.
bool ArchiveReader::readSoundTexts(StringList& list, qsizetype count)
{
    // Most per-day texts are empty: a single zero byte, looked at here without the general prefix reader.
    // This pass only looks: should it find damage, the text-by-text path takes the list from the start.
    const char* bytes = m_bytes.constData();
    const qsizetype size = m_bytes.size();
    qsizetype blockSize = 0;
    int texts = 0;
    qsizetype at = m_pos;
    for (qsizetype i = 0; i < count; ++i) {
        if (at >= size)
            return false;
        qsizetype length = std::uint8_t(bytes[at]);
        if (length == 0) {
            ++at;
            continue;
        }
        // A one-byte prefix is read here; the longer forms and the checks go through textAt.
        const qsizetype text = length < 0xFF && length < size - at ? at + 1 : textAt(at, length);
        if (text < 0)
            return false;
        if (length > 0) {
            blockSize += length + 1;
            ++texts;
        }
        at = text + length;
    }
    list.emptyAll();
    if (texts == 0) {
        m_pos = at;
        return true;
    }
    QByteArray block(blockSize, Qt::Uninitialized);
    char* out = block.data();
    // Nobody else sees the block yet: its reference count is set once for all its texts instead of one
    // atomic step per text, and nothing below throws before each has its text. A text takes at least two
    // bytes of a file held in memory, so the count stays far inside int.
    QByteArray::DataPointer& shared = block.data_ptr();
    shared.d_ptr()->ref_.storeRelaxed(texts + 1);
    // Every entry is empty now and the list is not shared: each text goes straight into its place.
    QByteArray* entries = list.m_items.data();
    for (qsizetype i = 0; i < count; ++i) {
        if (bytes[m_pos] == 0) {
            ++m_pos;
            continue;
        }
        // The first pass found every text whole.
        qsizetype length = std::uint8_t(bytes[m_pos]);
        const qsizetype text = length < 0xFF ? m_pos + 1 : textAt(m_pos, length);
        m_pos = text + length;
        if (length == 0)
            continue;
        std::memcpy(out, bytes + text, std::size_t(length));
        out[length] = '\0';
        new (&entries[i].data_ptr()) QByteArray::DataPointer(shared.d_ptr(), out, length);
        out += length + 1;
    }
    return true;
}

void ArchiveReader::readStringList(StringList& list, qsizetype maxCount)
{
    const qsizetype start = m_pos;
    const quint32 n = readCount();
    if (qsizetype(n) > maxCount)
        fail(start, QStringLiteral("a list of %1 texts, far more than such a list holds (at most %2)")
                        .arg(n)
                        .arg(maxCount));
    // Each text takes at least its one-byte prefix, so a count beyond the bytes left is certainly cut.
    const qsizetype have = remaining();
    const qsizetype padLimit = kMaxPadBytes / qsizetype(sizeof(QByteArray));
    const qsizetype keep = qsizetype(n) <= have + padLimit ? qsizetype(n) : have;
    list.setCount(keep); // entries are overwritten below, or emptied past a cut
    if (keep == qsizetype(n) && readSoundTexts(list, keep))
        return;
    // Damaged: text by text, so that what comes before the damage stays and the reason is exact.
    qsizetype i = 0;
    try {
        for (; i < keep; ++i) {
            // Most per-day texts are empty: one zero byte, and usually an entry that is empty already.
            if (m_pos < size() && m_bytes.constData()[m_pos] == 0) {
                ++m_pos;
                if (!list.at(i).isEmpty())
                    list.setAt(i, QByteArray());
                continue;
            }
            list.setAt(i, readString());
        }
    } catch (const ArchiveError&) {
        for (; i < keep; ++i)
            list.setAt(i, QByteArray());
        throw;
    }
    if (keep < qsizetype(n))
        fail(start, QStringLiteral("a list of %1 texts runs past the end (%2 bytes left)").arg(n).arg(have));
}
