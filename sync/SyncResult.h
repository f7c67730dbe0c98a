#pragma once

#include <QString>
#include <QStringList>

// What a publish, pull or sync did, for the caller to report and to choose its exit status by.
struct SyncResult
{
    int added = 0, changed = 0, removed = 0;       // on the server
    int takenIn = 0, removedHere = 0, redDays = 0; // in the year
    int conflicts = 0;
    // Conflicts that wait for the user in the conflict store after the run.
    int conflictsWaiting = 0;
    // The year's changes not on the server when the run ended (it failed, or could not start).
    int pending = 0;
    int left = 0; // other clients' events the year cannot hold, left on the server
    // Requests that failed: the record keeps them pending, the next run sends them again.
    QStringList failures;
    // Why the run stopped before its end; empty when it ran through.
    QString error;
    // The run stopped before changing anything because it would remove most of one side.
    bool massDeletion = false;
    // Where the losing side of each conflict is kept, when there was one.
    QString conflictFile;

    bool ok() const { return error.isEmpty() && failures.isEmpty(); }
};
