#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A WebDAV multistatus reply (RFC 4918, 13), as far as CalDAV listing and querying need it: per response
// its href, and from the properties found (status 200) the ETag, the resource type and the calendar data.
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
    };

    // False with `error` (what is wrong and where) for text that is no multistatus. A response without an
    // href is an error; an unknown element is skipped whole.
    static bool parse(const QByteArray& xml, QList<Response>& responses, QString& error);

    // The code of "HTTP/1.1 200 OK", or 0.
    static int statusCode(const QString& statusLine);
};
