#pragma once

#include <QString>

class QAction;
class QMainWindow;
class YearRegistry;

// The planner's calendar sync as the main frame sees it. It lives in a module of its own, loaded once the
// first window has painted: the network, iCalendar and keyring libraries it needs would otherwise be loaded
// and relocated before the planner shows anything.
class SyncService
{
public:
    // What the frame lends the sync; all of it outlives the service, which the frame owns as a child.
    struct Host
    {
        QMainWindow* frame = nullptr;
        YearRegistry* registry = nullptr;
        QString yearsDir;
        QAction* syncNow = nullptr; // File > Sync Now, enabled while an account is set
    };

    virtual ~SyncService() = default;
    // File > Calendar Account...
    virtual void editAccount() = 0;
    // With automatic sync: what changed goes out before the program ends (within 5 s).
    virtual void atExit() = 0;
};

// The module's one entry point: the service for `host`, shown in its frame's status bar, or null when
// `version` is not the module's own (a module of another build must not run against this one's objects).
using SyncServiceFactory = SyncService* (*)(const char* version, const SyncService::Host& host);
inline constexpr char kSyncServiceFactoryName[] = "tolvaCreateSyncService";
