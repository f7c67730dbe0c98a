#include "PublishState.h"

#include "DataStore.h"
#include "DurableFile.h"
#include "OutgoingEvents.h"
#include "YearItems.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// 2 adds each event's content, a project's position and foreign events; 3 the red days a foreign event
// gave over several days; 4 ties every red day another client's event gave to that event (3 took a one-day
// event over as ours), and the sync token. An older tolva-cli refuses 4 rather than take the tied days for
// events of its own. Every older format is read.
constexpr int kFormat = 4;

} // namespace

QString PublishState::fileName(int year)
{
    return QStringLiteral("%1.publish-state.json").arg(year);
}

void PublishState::setListing(const QString& collection, const Listing& listing)
{
    if (listing.token.isEmpty())
        m_listings.remove(collection);
    else
        m_listings.insert(collection, listing);
}

QString PublishState::oldFormatCopy(const QString& path)
{
    return path + QStringLiteral(".older-format");
}

// A one-day event of another client that format 3 took over: its record is ours in form, under the other
// client's UID, with the red day's content. It becomes what it is, that client's event tied to its day.
void PublishState::migrate()
{
    m_migrated = true;
    for (auto c = m_collections.begin(); c != m_collections.end(); ++c) {
        for (SyncPlan::Known& k : *c) {
            if (k.foreign || !k.key.startsWith(QLatin1String("red/")) ||
                k.uid.endsWith(QLatin1String("@tolva")))
                continue;
            CalendarEvent day;
            if (YearItems::baseEvent(k, day))
                k.days.insert(k.key, OutgoingEvents::redDayHash(day));
            k.foreign = true;
            k.content.clear();
            k.hash.clear();
            k.key.clear();
        }
    }
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
                QJsonObject days;
                for (auto it = e.days.cbegin(); it != e.days.cend(); ++it)
                    days.insert(it.key(), QString::fromLatin1(it.value().toHex()));
                o.insert(QStringLiteral("days"), days);
            }
            list.append(o);
        }
        QJsonObject collection{{QStringLiteral("url"), url}, {QStringLiteral("events"), list}};
        if (m_listings.contains(url)) {
            const Listing& listing = m_listings[url];
            QJsonObject etags;
            for (auto it = listing.etags.cbegin(); it != listing.etags.cend(); ++it)
                etags.insert(it.key(), it.value());
            collection.insert(QStringLiteral("syncToken"), listing.token);
            collection.insert(QStringLiteral("listing"), etags);
            if (!listing.yearStamp.isEmpty())
                collection.insert(QStringLiteral("yearStamp"),
                                  QString::fromLatin1(listing.yearStamp.toHex()));
        }
        collections.append(collection);
    }
    return QJsonDocument(
               QJsonObject{{QStringLiteral("format"), kFormat}, {QStringLiteral("collections"), collections}})
        .toJson(QJsonDocument::Indented);
}

bool PublishState::fromJson(const QByteArray& json, QString& error)
{
    m_collections.clear();
    m_listings.clear();
    m_migrated = false;
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
        Listing listing;
        listing.token = c.toObject().value(QStringLiteral("syncToken")).toString();
        const QJsonObject etags = c.toObject().value(QStringLiteral("listing")).toObject();
        for (auto it = etags.constBegin(); it != etags.constEnd(); ++it)
            listing.etags.insert(it.key(), it.value().toString());
        listing.yearStamp =
            QByteArray::fromHex(c.toObject().value(QStringLiteral("yearStamp")).toString().toLatin1());
        setListing(url, listing);
    }
    if (format < kFormat)
        migrate();
    return true;
}

bool PublishState::load(const QString& path, QString& error)
{
    m_collections.clear();
    QByteArray bytes;
    switch (DurableFile::read(path, kMaxFileSize, bytes, error)) {
    case DurableFile::Read::Missing:
        return true;
    case DurableFile::Read::Done:
        return fromJson(bytes, error);
    case DurableFile::Read::Failed:
    case DurableFile::Read::TooLarge:
        break;
    }
    return false;
}

bool PublishState::save(const QString& path, QString& error)
{
    if (m_migrated && QFile::exists(path) && !QFile::exists(oldFormatCopy(path)) &&
        !QFile::copy(path, oldFormatCopy(path))) {
        error =
            QStringLiteral("the state of the older format could not be kept as %1").arg(oldFormatCopy(path));
        return false;
    }
    const StoreResult result = DurableFile::write(path, toJson());
    if (result.ok())
        m_migrated = false;
    if (result.ok())
        return true;
    error = result.reason.isEmpty() ? result.message : result.reason;
    return false;
}
