#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A WebDAV multistatus reply (RFC 4918, 13), as far as CalDAV listing and querying need it: per response
// its href, and from the properties found (status 200) the ETag, the resource type, the calendar data and the
// sync token (RFC 6578). In a sync-collection answer a removed member is a response of status 404, and a
// response of status 507 for the collection itself means the server cut the answer short.
class MultiStatus
{
public:
    struct Response
    {
        QString href;   // as the server wrote it (usually a percent-encoded absolute path)
        int status = 0; // the response's own status, 0 when it has none (it then has propstats)
        QString etag;   // quotes kept: ETags are compared as opaque strings
        bool isCollection = false;
        bool isCalendar = false;
        QByteArray calendarData;
        QString syncToken; // the DAV:sync-token property (a collection's, from PROPFIND)
    };

    // False with `error` (what is wrong and where) for text that is no multistatus. A response without an
    // href is an error; an unknown element is skipped whole. `syncToken`, when given, gets the multistatus's
    // own DAV:sync-token (the answer to a sync-collection REPORT), empty when it has none.
    static bool parse(const QByteArray& xml, QList<Response>& responses, QString& error,
                      QString* syncToken = nullptr);

    // The code of "HTTP/1.1 200 OK", or 0.
    static int statusCode(const QString& statusLine);
};
