#pragma once

#include "DisplaySettings.h"
#include "EveryYearRemovals.h"
#include "ForeverRedDays.h"
#include "StoreResult.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class DataStore;
class YearDocument;

// Hands out the one YearDocument of a year to everyone who asks (find or open, shared ownership). When the
// last user lets go, the year is saved if it was changed, and the every-year red days if they were. Also
// owns the every-year red days, one entry per month and day, where the last edit wins:
// - flagging a day in any year sets the entry (its text with it) and shows it at once in every open year
//   and in every year opened later, except on a day a year has a red day of its own (unflagged, with a
//   text), which stays;
// - unflagging it removes the entry: its copies go from every year, the year it was unflagged in keeps the
//   day as a red day of its own, and a year that carries the flag with another text keeps that text. The
//   removal is remembered (EveryYearRemovals), so a year file that still carries the flag no longer
//   brings it back;
// - a flagged day in a year file that the list does not know and no removal names joins the list, so
//   folders of older versions (flags in year files, any every-year file) load as they always did.
// Showing a copy of an entry is no edit of a year: opening years writes nothing.
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
    // An edited year reached the disk.
    void saved(int year);

private:
    using Entry = std::pair<RedDayRecord, QByteArray>;

    std::vector<std::shared_ptr<YearDocument>> openDocuments() const;
    void release(YearDocument* document);
    void report(const StoreResult& result);
    void loadEveryYear();
    bool saveEveryYear();
    // The every-year file could not be read at start: read it again and put this session's edits on top.
    // False when it still cannot be read.
    bool rereadEveryYear(QString& reason);
    bool moveUnreadEveryYearAside(QString& keptAs);
    void mergeEveryYear(YearDocument& document) const;
    // Flagged days of a year: adopted into the list, or, when a removal names them, no longer flagged.
    void reconcileFlags(YearDocument& document);
    void everyYearEdited(YearDocument& source, int dayIndex);
    // Sets (entry given) or removes the entry of a month and day, and records it as the last word on that
    // day. Returns the removed entry's text when there was one.
    std::optional<QByteArray> putEveryYear(int key, const std::optional<Entry>& entry);
    std::optional<QByteArray> replaceInList(int key, const std::optional<Entry>& entry);
    // Shows `entry` on the day of every open year other than `source`, or removes what a removed one left.
    void spreadEveryYear(const YearDocument* source, int key, const std::optional<Entry>& entry,
                         const QByteArray& removedText);
    // Entries of a damaged file that name no date go; a missing text becomes an empty one.
    void dropUnusableEveryYearEntries();

    const DataStore& m_store;
    DisplaySettings m_defaults;
    ForeverRedDays m_everyYear;
    EveryYearRemovals m_removals;
    // This session's every-year edits, by month and day: what is put on top of a file read late.
    std::map<int, std::optional<Entry>> m_sessionEdits;
    bool m_everyYearLoaded = false;
    bool m_everyYearUnread = false;  // the every-year file could not be read: it is not written over
    bool m_everyYearChanged = false; // the list differs from what the every-year file holds
    std::map<int, std::weak_ptr<YearDocument>> m_open;
    std::shared_ptr<bool> m_alive;
    QSet<QString> m_reported;
};
