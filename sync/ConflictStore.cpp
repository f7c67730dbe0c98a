#include "ConflictStore.h"

#include "DurableFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

QString ConflictStore::fileName(int year)
{
    return QStringLiteral("%1.sync-conflicts.json").arg(year);
}

bool ConflictStore::load(const QString& path, QString& error)
{
    m_entries.clear();
    QByteArray bytes;
    const DurableFile::Read read = DurableFile::read(path, kMaxFileSize, bytes, error);
    if (read == DurableFile::Read::Missing)
        return true;
    if (read != DurableFile::Read::Done)
        return false;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        error = QStringLiteral("damaged (not the JSON of a conflict list)");
        return false;
    }
    for (const QJsonValue& v : doc.object().value(QStringLiteral("conflicts")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e{o.value(QStringLiteral("uid")).toString(),
                o.value(QStringLiteral("summary")).toString(),
                o.value(QStringLiteral("kept")).toString() != QLatin1String("server"),
                o.value(QStringLiteral("planner")).toString(),
                o.value(QStringLiteral("server")).toString(),
                o.value(QStringLiteral("when")).toString(),
                o.value(QStringLiteral("settle")).toString()};
        if (!e.uid.isEmpty())
            put(e);
    }
    return true;
}

bool ConflictStore::save(const QString& path, QString& error) const
{
    QJsonArray list;
    for (const Entry& e : m_entries)
        list.append(QJsonObject{
            {QStringLiteral("uid"), e.uid},
            {QStringLiteral("summary"), e.summary},
            {QStringLiteral("kept"), e.keptPlanner ? QStringLiteral("planner") : QStringLiteral("server")},
            {QStringLiteral("planner"), e.planner},
            {QStringLiteral("server"), e.server},
            {QStringLiteral("when"), e.when},
            {QStringLiteral("settle"), e.settle}});
    const StoreResult r = DurableFile::write(
        path,
        QJsonDocument(QJsonObject{{QStringLiteral("conflicts"), list}}).toJson(QJsonDocument::Indented));
    if (!r.ok())
        error = r.reason.isEmpty() ? r.message : r.reason;
    return r.ok();
}

void ConflictStore::put(const Entry& entry)
{
    remove(entry.uid);
    m_entries << entry;
}

bool ConflictStore::remove(const QString& uid)
{
    return m_entries.removeIf([&](const Entry& e) { return e.uid == uid; }) > 0;
}
