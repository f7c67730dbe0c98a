#pragma once

#include "ForeverRedDays.h"
#include "StoreResult.h"

#include <QByteArray>
#include <QString>

#include <map>

// Which every-year red days the user removed, kept in ForeverRedDays.removed beside the every-year file:
// the fixed file formats have no room for it. Without it a year file that still carries the flag (the year
// the day was flagged in, or an old copy) would bring the day back as soon as that year is opened.
//
// The record is tied to the every-year file it was written with by a fingerprint of that file's content:
// when another program has written the every-year file since, that file is the newer word and the record
// no longer counts.
class EveryYearRemovals
{
public:
    // month * 100 + day -> the text the removed entry had
    using Map = std::map<int, QByteArray>;

    static int keyOf(int month, int day) { return month * 100 + day; }
    static QByteArray fingerprintOf(const ForeverRedDays& everyYear);

    const Map& removed() const { return m_removed; }
    bool isEmpty() const { return m_removed.empty(); }
    bool contains(int key) const { return m_removed.count(key) > 0; }
    QByteArray textOf(int key) const;
    void add(int key, const QByteArray& text) { m_removed[key] = text; }
    void drop(int key) { m_removed.erase(key); }
    void clear() { m_removed.clear(); }

    // Reads the record at `path`; a missing file is an empty record. True when the record belongs to the
    // every-year list `current` (as loaded now); otherwise, or when it cannot be read, it is left empty.
    bool load(const QString& path, const ForeverRedDays& current);
    // Writes the record, tied to `written`, the list the every-year file now holds. With nothing removed
    // and no record on disk, nothing is written.
    StoreResult save(const QString& path, const ForeverRedDays& written) const;

    QByteArray encode(const QByteArray& fingerprint) const;
    // False for bytes that are no record.
    bool decode(const QByteArray& bytes, QByteArray& fingerprint);

private:
    Map m_removed;
};
