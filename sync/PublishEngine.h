#pragma once

#include "PublishState.h"
#include "SyncPlan.h"
#include "SyncResult.h"

#include <QUrl>

class CalDavClient;
class SyncSink;
class SyncYear;
struct OutgoingEvents;

// Publish: makes the calendar hold exactly the year's events; nothing comes back. Lists the calendar once,
// plans every event before sending (SyncPlan), fetches in one request only the objects in our way (one
// equal to ours is no conflict), sends, and records. Other clients' events, and the red days they gave,
// are never touched.
class PublishEngine
{
public:
    PublishEngine(CalDavClient& client, const QUrl& collection, SyncYear& year, SyncSink& sink);

    // `force`: replace our events that were changed on the server.
    SyncResult run(bool force);

private:
    struct Plan;
    bool prepare(Plan& p);
    bool list(Plan& p);
    bool settleContested(Plan& p);
    void send(Plan& p);
    void recordStep(Plan& p, qsizetype step);
    bool save(Plan& p);

    CalDavClient& m_client;
    QUrl m_collection;
    QString m_shownUrl;
    SyncYear& m_year;
    SyncSink& m_sink;
    bool m_force = false;
    PublishState m_state;
    SyncResult m_result;
};
