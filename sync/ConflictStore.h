#pragma once

#include <QList>
#include <QString>

// The side that lost a conflict, kept until the user settles it: per item its UID, both versions as
// iCalendar text (empty for a side that deleted it), which one the sync kept, and when. It lives beside the
// year as YEARS/<year>.sync-conflicts.json; a later conflict of the same item replaces its entry.
class ConflictStore
{
public:
    static constexpr qint64 kMaxFileSize = qint64(16) << 20;

    struct Entry
    {
        QString uid;
        QString summary;
        bool keptPlanner = true;
        QString planner; // the planner's version
        QString server;  // the server's version
        QString when;    // ISO 8601, UTC
        // The side the user chose, which the next sync carries out: "planner", "server", or empty.
        QString settle;
    };

    static QString fileName(int year);

    // A missing file is an empty store; false with `error` for one that cannot be read.
    bool load(const QString& path, QString& error);
    bool save(const QString& path, QString& error) const;

    void put(const Entry& entry);
    bool remove(const QString& uid);
    const QList<Entry>& entries() const { return m_entries; }

private:
    QList<Entry> m_entries;
};
