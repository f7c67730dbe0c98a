#pragma once

#include "DisplaySettings.h"
#include "ForeverRedDays.h"
#include "StoreResult.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class DataStore;
class YearDocument;

// Hands out the one YearDocument of a year to everyone who asks (find or open, shared ownership). When the
// last user lets go, the year is saved and the every-year red days are written. Also owns the every-year
// red days: an entry set or removed in one year reaches every other open year at once.
//
// Problems (a damaged file, a failed save) are announced through problem(), once each.
class YearRegistry : public QObject
{
    Q_OBJECT

public:
    YearRegistry(const DataStore& store, const DisplaySettings& defaults, QObject* parent = nullptr);
    // Saves what is still open.
    ~YearRegistry() override;

    const DataStore& store() const { return m_store; }
    const DisplaySettings& defaults() const { return m_defaults; }
    DisplaySettings& defaults() { return m_defaults; }

    // The document of `year` (1..9999), loaded with the every-year red days merged in when nobody holds it
    // yet. Throws InvalidArgument for a year outside 1..9999.
    std::shared_ptr<YearDocument> open(int year);
    // The open document of `year`, or null.
    YearDocument* find(int year) const;
    int openCount() const { return int(m_open.size()); }

    // Saves one year now; reports a failure. True when it is on disk.
    bool save(YearDocument& document);
    // Saves every open year and the every-year red days (exit, session end, a stop signal). True when all
    // reached the disk. Every failure is announced again, also one announced before.
    bool saveAll();

    // The every-year red days as they stand (entries that fit no year shown are kept too).
    const ForeverRedDays& everyYear() const { return m_everyYear; }

signals:
    void problem(const StoreResult& result);

private:
    std::vector<std::shared_ptr<YearDocument>> openDocuments() const;
    void release(YearDocument* document);
    void report(const StoreResult& result);
    bool saveEveryYear();
    void mergeEveryYear(YearDocument& document) const;
    void everyYearEdited(YearDocument& source, int dayIndex);
    // Sets (record given) or removes the entry of a month and day; false when there was nothing to remove.
    bool putEveryYear(int month, int day, const RedDayRecord* record, const QByteArray& text,
                      QByteArray* removedText);
    void adoptEveryYearDays(const YearDocument& document);
    // Entries of a damaged file that name no date go; a missing text becomes an empty one.
    void dropUnusableEveryYearEntries();

    const DataStore& m_store;
    DisplaySettings m_defaults;
    ForeverRedDays m_everyYear;
    bool m_everyYearLoaded = false;
    bool m_everyYearUnread = false; // the every-year file could not be read: it is not written over...
    bool m_everyYearEdited = false; // ...unless an edit changed the list (it is moved aside first)
    std::map<int, std::weak_ptr<YearDocument>> m_open;
    std::shared_ptr<bool> m_alive;
    QSet<QString> m_reported;
};
