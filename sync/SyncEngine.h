#pragma once

#include "ConflictStore.h"
#include "PublishState.h"
#include "SyncDecision.h"
#include "SyncResult.h"

#include <QSet>
#include <QString>
#include <QUrl>

class CalDavClient;
class SyncSink;
class SyncYear;
class YearDocument;
class YearEdits;
struct YearData;

// Sync and pull of one year with one CalDAV calendar, as a pipeline of steps per round: read the year,
// list the calendar (by its sync token where the server offers one), fetch what changed, decide every
// item (SyncDecision), stop before a mass deletion, keep the losing side of each conflict, send, take in,
// save the year, and record. The record is written after the server and the year, so a run cut anywhere
// is finished by the next one: an object already equal on both sides is only recorded, and a red day that
// a foreign event gives is tied to it again by its content.
class SyncEngine
{
public:
    enum class Mode { Sync, Pull };
    struct Options
    {
        Mode mode = Mode::Sync;
        SyncDecision::Prefer prefer = SyncDecision::Prefer::Planner;
        // Red days from other clients' events replace a day's own red day.
        bool replace = false;
        // Go on with a run that would remove most of one side.
        bool allowMassDeletion = false;
        bool useSyncToken = true;
    };

    // `collection` in CalDavClient::collectionUrl form.
    SyncEngine(CalDavClient& client, const QUrl& collection, SyncYear& year, SyncSink& sink);

    SyncResult run(const Options& options);

    // What of a year the calendar holds, hashed: a sync finds the year unchanged by it.
    static QByteArray yearStamp(const YearData& year);
    // The record of `year` in `yearsDir`.
    static QString statePath(const QString& yearsDir, int year);
    // What a run writes before it saves a year it took another client's red days into (see takeIn).
    static QString journalPath(const QString& yearsDir, int year);

    struct Round;

private:
    bool runRound(Round& r, bool first);
    bool readYear(Round& r);
    bool quiet(const Round& r) const;
    void prepareLocals(Round& r);
    bool list(Round& r);
    void addRemote(Round& r, const QString& href, const QString& etag);
    bool fetch(Round& r);
    void readRemote(Round& r, qsizetype i, const QByteArray& data);
    void decide(Round& r);
    bool guard(const Round& r);
    bool keepConflicts(const Round& r);
    void send(Round& r);
    bool takeIn(Round& r);
    void dropForeignDays(Round& r, YearEdits& edits);
    void applyOurs(Round& r, YearEdits& edits);
    void importForeign(Round& r, YearDocument& document);
    void tieForeignDays(Round& r);
    static QHash<QString, QByteArray> redDayHashes(const YearData& year);
    bool writeTieJournal(Round& r);
    void recoverTieJournal();
    void keepDamagedJournal(const QString& path, const QString& error);
    void recordSteps(Round& r);
    void recordReply(Round& r, qsizetype step);
    bool saveState(Round& r);
    bool stop(const QString& error);
    bool loadConflicts();
    static int pendingChanges(const Round& r);

    CalDavClient& m_client;
    QUrl m_collection;
    QString m_shownUrl;
    SyncYear& m_year;
    SyncSink& m_sink;
    Options m_options;
    PublishState m_state;
    ConflictStore m_conflicts;
    QString m_conflictPath;
    QHash<QString, SyncDecision::Prefer> m_settled;
    SyncResult m_result;
    QSet<QString> m_listed; // foreign events reported in an earlier round
};
