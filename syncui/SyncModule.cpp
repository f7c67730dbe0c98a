#include "FrameSync.h"
#include "SyncService.h"

#include <QMainWindow>

#include <cstring>

extern "C" __attribute__((visibility("default"))) SyncService*
tolvaCreateSyncService(const char* version, const SyncService::Host& host)
{
    if (!version || std::strcmp(version, TOLVA_VERSION) != 0 || !host.frame || !host.registry ||
        !host.syncNow)
        return nullptr;
    auto* sync = new FrameSync(host.frame, *host.registry, host.yearsDir, host.syncNow);
    sync->atStart();
    return sync;
}
