#pragma once

#include "SyncPlan.h"

#include <QHash>
#include <QString>
#include <QUrl>

class CalDavClient;

// A server may change what it stores and then send no ETag; one more listing gives it to each record of
// `records` (UID -> record) that lacks one.
void fillMissingEtags(CalDavClient& client, const QUrl& collection, QHash<QString, SyncPlan::Known>& records);
