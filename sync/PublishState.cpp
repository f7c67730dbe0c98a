#include "PublishState.h"

#include "DataStore.h"
#include "DurableFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// 2 adds each event's content, a project's position and foreign events; 3 the red days a foreign event
// gave over several days. A state is written in the lowest format that holds it: one of format 2 read by
// an older tolva-cli would lose those days and send them back as events of ours, so it refuses 3 instead.
// Every older format is read.
constexpr int kFormat = 3;
constexpr int kFormatWithoutDays = 2;

} // namespace

QString PublishState::fileName(int year)
{
    return QStringLiteral("%1.publish-state.json").arg(year);
}

void PublishState::setEvents(const QString& collection, const QList<SyncPlan::Known>& events)
{
    if (events.isEmpty())
        m_collections.remove(collection);
    else
        m_collections.insert(collection, events);
}

QByteArray PublishState::toJson() const
{
    // Sorted, so that an unchanged state gives the same bytes and is not rewritten.
    QStringList urls = m_collections.keys();
    std::sort(urls.begin(), urls.end());
    QJsonArray collections;
    int format = kFormatWithoutDays;
    for (const QString& url : urls) {
        QList<SyncPlan::Known> events = m_collections.value(url);
        std::sort(events.begin(), events.end(),
                  [](const SyncPlan::Known& a, const SyncPlan::Known& b) { return a.uid < b.uid; });
        QJsonArray list;
        for (const SyncPlan::Known& e : events) {
            QJsonObject o{{QStringLiteral("uid"), e.uid},
                          {QStringLiteral("href"), e.href},
                          {QStringLiteral("etag"), e.etag},
                          {QStringLiteral("hash"), QString::fromLatin1(e.hash.toHex())}};
            if (!e.content.isEmpty())
                o.insert(QStringLiteral("content"), QString::fromUtf8(e.content));
            if (e.position >= 0)
                o.insert(QStringLiteral("position"), e.position);
            if (e.foreign)
                o.insert(QStringLiteral("foreign"), true);
            if (!e.key.isEmpty())
                o.insert(QStringLiteral("key"), e.key);
            if (e.sequence > 0)
                o.insert(QStringLiteral("sequence"), e.sequence);
            if (!e.modified.isEmpty())
                o.insert(QStringLiteral("modified"), e.modified);
            if (!e.days.isEmpty()) {
                format = kFormat;
                QJsonObject days;
                for (auto it = e.days.cbegin(); it != e.days.cend(); ++it)
                    days.insert(it.key(), QString::fromLatin1(it.value().toHex()));
                o.insert(QStringLiteral("days"), days);
            }
            list.append(o);
        }
        collections.append(QJsonObject{{QStringLiteral("url"), url}, {QStringLiteral("events"), list}});
    }
    return QJsonDocument(
               QJsonObject{{QStringLiteral("format"), format}, {QStringLiteral("collections"), collections}})
        .toJson(QJsonDocument::Indented);
}

bool PublishState::fromJson(const QByteArray& json, QString& error)
{
    m_collections.clear();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("damaged at byte %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    const int format = root.value(QStringLiteral("format")).toInt();
    if (!doc.isObject() || format < 1 || format > kFormat ||
        !root.value(QStringLiteral("collections")).isArray()) {
        error = QStringLiteral("not a publish state of this version");
        return false;
    }
    for (const QJsonValue& c : root.value(QStringLiteral("collections")).toArray()) {
        const QString url = c.toObject().value(QStringLiteral("url")).toString();
        const QJsonValue events = c.toObject().value(QStringLiteral("events"));
        if (url.isEmpty() || !events.isArray() || m_collections.contains(url)) {
            error = QStringLiteral("damaged: a collection without URL or events, or listed twice");
            m_collections.clear();
            return false;
        }
        QList<SyncPlan::Known> list;
        for (const QJsonValue& v : events.toArray()) {
            const QJsonObject o = v.toObject();
            SyncPlan::Known k;
            k.uid = o.value(QStringLiteral("uid")).toString();
            k.href = o.value(QStringLiteral("href")).toString();
            k.etag = o.value(QStringLiteral("etag")).toString();
            k.hash = QByteArray::fromHex(o.value(QStringLiteral("hash")).toString().toLatin1());
            k.content = o.value(QStringLiteral("content")).toString().toUtf8();
            k.position = o.value(QStringLiteral("position")).toInt(-1);
            k.foreign = o.value(QStringLiteral("foreign")).toBool();
            k.sequence = o.value(QStringLiteral("sequence")).toInt();
            k.key = o.value(QStringLiteral("key")).toString();
            k.modified = o.value(QStringLiteral("modified")).toString();
            const QJsonValue daysValue = o.value(QStringLiteral("days"));
            const QJsonObject days = daysValue.toObject();
            bool daysSound = daysValue.isUndefined() || daysValue.isObject();
            for (auto it = days.constBegin(); daysSound && it != days.constEnd(); ++it) {
                daysSound = !it.key().isEmpty() && it.value().isString();
                k.days.insert(it.key(), QByteArray::fromHex(it.value().toString().toLatin1()));
            }
            if (!daysSound) {
                error = QStringLiteral("damaged: the days of %1 in %2").arg(k.uid, url);
                m_collections.clear();
                return false;
            }
            if (k.uid.isEmpty() || k.href.isEmpty()) {
                error = QStringLiteral("damaged: an event of %1 without UID or href").arg(url);
                m_collections.clear();
                return false;
            }
            list << k;
        }
        m_collections.insert(url, list);
    }
    return true;
}

bool PublishState::load(const QString& path, QString& error)
{
    m_collections.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    if (bytes.size() > kMaxFileSize) {
        error = QStringLiteral("it is larger than %1 MiB").arg(kMaxFileSize >> 20);
        return false;
    }
    return fromJson(bytes, error);
}

bool PublishState::save(const QString& path, QString& error) const
{
    const StoreResult result = DurableFile::write(path, toJson());
    if (result.ok())
        return true;
    error = result.reason.isEmpty() ? result.message : result.reason;
    return false;
}
