#pragma once

#include "SyncService.h"

#include <QString>

// Finds and loads the sync module: the one beside the program in a build tree, the one installed with it,
// or the one TOLVA_SYNC_MODULE names.
class SyncLoader
{
public:
    // Maps and relocates the module, which takes several milliseconds; thread-safe, so that it can run
    // beside the event loop. create() does it where it has not been done.
    static void preload();
    // The service for `host`, or null with `error` saying why (no module, or one that does not load).
    static SyncService* create(const SyncService::Host& host, QString& error);
    // Where the module is looked for, first match wins.
    static QStringList candidates();
    static QString fileName();

private:
    // The first candidate that exists, or "".
    static QString found();
};
