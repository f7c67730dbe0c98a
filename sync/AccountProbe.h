#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

class CalDavClient;

// Tries a calendar account as the account dialog's Test button does: one PROPFIND of depth 1 at the
// collection, asking its name and its members. Says what it found or why it failed, in one line.
class AccountProbe
{
public:
    struct Finding
    {
        bool ok = false;
        QString calendarName; // DAV:displayname, else the last segment of the path
        int events = 0;       // the collection's members that are no collections
        QString error;        // why it failed: the certificate with its fingerprint, HTTP 401, not a calendar

        // "Calendar "Work" with 12 events", or the error.
        QString text() const;
    };

    // The whole try: the URL checked, the client set up with the password and CA file, the request.
    static Finding tryAccount(const QUrl& url, const QString& user, const QString& password,
                              const QString& caFile, int timeoutMs);
    static Finding probe(CalDavClient& client, const QUrl& collection);
    // The multistatus of the PROPFIND, for `collection` as sent.
    static Finding fromMultiStatus(const QByteArray& xml, const QUrl& collection);
};
