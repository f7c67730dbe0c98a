#include "MissingEtags.h"

#include "CalDavClient.h"

void fillMissingEtags(CalDavClient& client, const QUrl& collection, QHash<QString, SyncPlan::Known>& records)
{
    QList<MultiStatus::Response> after;
    QString listError;
    QHash<QString, QString> etags;
    if (client.list(collection, after, listError))
        for (const MultiStatus::Response& m : after)
            etags.insert(CalDavClient::normalHref(collection, m.href), m.etag);
    for (auto it = records.begin(); it != records.end(); ++it)
        if (it->etag.isEmpty())
            it->etag = etags.value(it->href);
}
