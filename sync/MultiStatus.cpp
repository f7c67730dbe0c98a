#include "MultiStatus.h"

#include <QXmlStreamReader>

namespace {

const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

bool is(const QXmlStreamReader& xml, const QString& ns, const char* name)
{
    return xml.namespaceUri() == ns && xml.name() == QLatin1String(name);
}

void readProp(QXmlStreamReader& xml, MultiStatus::Response& r)
{
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "getetag")) {
            r.etag = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (is(xml, kDav, "resourcetype")) {
            while (xml.readNextStartElement()) {
                if (is(xml, kDav, "collection"))
                    r.isCollection = true;
                else if (is(xml, kCalDav, "calendar"))
                    r.isCalendar = true;
                xml.skipCurrentElement();
            }
        } else if (is(xml, kCalDav, "calendar-data")) {
            r.calendarData = xml.readElementText(QXmlStreamReader::SkipChildElements).toUtf8();
        } else if (is(xml, kDav, "sync-token")) {
            r.syncToken = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
}

void readPropstat(QXmlStreamReader& xml, MultiStatus::Response& r)
{
    MultiStatus::Response found;
    int status = 0;
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "prop"))
            readProp(xml, found);
        else if (is(xml, kDav, "status"))
            status = MultiStatus::statusCode(xml.readElementText(QXmlStreamReader::SkipChildElements));
        else
            xml.skipCurrentElement();
    }
    // Properties under a 404 propstat are the ones the server does not have.
    if (status / 100 != 2)
        return;
    if (!found.etag.isEmpty())
        r.etag = found.etag;
    r.isCollection = r.isCollection || found.isCollection;
    r.isCalendar = r.isCalendar || found.isCalendar;
    if (!found.calendarData.isEmpty())
        r.calendarData = found.calendarData;
    if (!found.syncToken.isEmpty())
        r.syncToken = found.syncToken;
}

} // namespace

int MultiStatus::statusCode(const QString& statusLine)
{
    const QStringList parts = statusLine.simplified().split(QLatin1Char(' '));
    if (parts.size() < 2 || !parts.at(0).startsWith(QLatin1String("HTTP/")))
        return 0;
    bool ok = false;
    const int code = parts.at(1).toInt(&ok);
    return ok && code >= 100 && code <= 599 ? code : 0;
}

bool MultiStatus::parse(const QByteArray& text, QList<Response>& responses, QString& error,
                        QString* syncToken)
{
    QXmlStreamReader xml(text);
    responses.clear();
    QString token;
    if (!xml.readNextStartElement() || !is(xml, kDav, "multistatus")) {
        error = xml.hasError() ? QStringLiteral("not XML: %1 (line %2, column %3)")
                                     .arg(xml.errorString())
                                     .arg(xml.lineNumber())
                                     .arg(xml.columnNumber())
                               : QStringLiteral("not a WebDAV multistatus");
        return false;
    }
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "sync-token")) {
            token = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            continue;
        }
        if (!is(xml, kDav, "response")) {
            xml.skipCurrentElement();
            continue;
        }
        Response r;
        bool hasHref = false;
        while (xml.readNextStartElement()) {
            if (is(xml, kDav, "href") && !hasHref) {
                r.href = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                hasHref = !r.href.isEmpty();
            } else if (is(xml, kDav, "status")) {
                r.status = statusCode(xml.readElementText(QXmlStreamReader::SkipChildElements));
            } else if (is(xml, kDav, "propstat")) {
                readPropstat(xml, r);
            } else {
                xml.skipCurrentElement();
            }
        }
        if (xml.hasError())
            break;
        if (!hasHref) {
            error = QStringLiteral("a response without an href (line %1)").arg(xml.lineNumber());
            return false;
        }
        responses << r;
    }
    if (!xml.hasError())
        xml.readNext(); // past the end of multistatus, to catch what follows it
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError()) {
        error = QStringLiteral("broken XML: %1 (line %2, column %3)")
                    .arg(xml.errorString())
                    .arg(xml.lineNumber())
                    .arg(xml.columnNumber());
        responses.clear();
        return false;
    }
    if (syncToken)
        *syncToken = token;
    return true;
}
