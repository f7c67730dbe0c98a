#include "DefaultsFileCodec.h"

#include "ArchiveReader.h"
#include "ArchiveWriter.h"

QByteArray DefaultsFileCodec::encode(const DisplaySettings& defaults)
{
    ArchiveWriter out;
    out.reserve(2 + qsizetype(sizeof(DisplaySettings)));
    writeSettingsList(out, defaults);
    return out.takeData();
}

DisplaySettings DefaultsFileCodec::decode(const QByteArray& bytes)
{
    ArchiveReader in(bytes);
    DisplaySettings settings{};
    readFirstSettings(in, settings);
    return settings;
}

void DefaultsFileCodec::writeSettingsList(ArchiveWriter& out, const DisplaySettings& settings)
{
    DisplaySettings stored = settings;
    stored.clearLinkSlots();
    out.writeCount(1);
    out.writeRaw(&stored, sizeof stored);
}

quint32 DefaultsFileCodec::readFirstSettings(ArchiveReader& in, DisplaySettings& settings)
{
    const qsizetype start = in.pos();
    const quint32 n = in.readCount();
    if (n < 1)
        ArchiveReader::fail(start, QStringLiteral("the settings list is empty"));
    in.readRaw(&settings, sizeof settings);
    return n;
}
