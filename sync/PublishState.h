#pragma once

#include "SyncPlan.h"

#include <QHash>
#include <QList>
#include <QString>

// What the last publish of a year left on each calendar server it went to: per collection URL, for every
// event it put there, the UID, href, ETag and a hash of the content sent. It lives beside the year as
// YEARS/<year>.publish-state.json, a name no load takes for a data file, and is replaced atomically.
class PublishState
{
public:
    // Far beyond any year's events; a larger file is refused before it is parsed.
    static constexpr qint64 kMaxFileSize = qint64(16) << 20;

    static QString fileName(int year);

    // A missing file is an empty state. False with `error` for a file that cannot be read or is damaged;
    // the caller then stops, since publishing without it would take every event of ours for a stranger's.
    bool load(const QString& path, QString& error);
    // Writes the whole state; false with `error` when the file could not be replaced (the old one stays).
    bool save(const QString& path, QString& error);

    QByteArray toJson() const;
    bool fromJson(const QByteArray& json, QString& error);

    QList<SyncPlan::Known> events(const QString& collection) const { return m_collections.value(collection); }
    void setEvents(const QString& collection, const QList<SyncPlan::Known>& events);
    // The collection as last listed: its sync token (RFC 6578; empty when the server offers none) and every
    // object's ETag then, which the changes since the token are laid over. The records' ETags are what
    // both sides last agreed on, which may be older (a conflict that waits).
    struct Listing
    {
        QString token;
        QHash<QString, QString> etags; // href -> ETag
        // SyncEngine::yearStamp of the year when both sides were last found equal; empty when unknown.
        QByteArray yearStamp;
    };
    Listing listing(const QString& collection) const { return m_listings.value(collection); }
    void setListing(const QString& collection, const Listing& listing);
    QString syncToken(const QString& collection) const { return m_listings.value(collection).token; }

    // Whether load() read a state of an older format and brought it up to this one (see migrate()). The
    // first save then keeps the old file beside the new one.
    bool migrated() const { return m_migrated; }
    static QString oldFormatCopy(const QString& path);

private:
    void migrate();

    QHash<QString, QList<SyncPlan::Known>> m_collections;
    QHash<QString, Listing> m_listings;
    bool m_migrated = false;
};
