#include "AccountProbe.h"

#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "MultiStatus.h"

#include <QXmlStreamReader>

namespace {

const QByteArray kPropfind = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:displayname/><d:resourcetype/>"
                             "<d:getetag/></d:prop></d:propfind>\n";

QString withoutSlash(QString path)
{
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool isCollectionItself(const QUrl& collection, const QString& href)
{
    return withoutSlash(CalDavClient::normalHref(collection, href)) ==
           withoutSlash(collection.path(QUrl::FullyDecoded));
}

// MultiStatus leaves DAV:displayname out; it is the collection's own response's.
QString displayName(const QByteArray& xml, const QUrl& collection)
{
    const QString dav = QStringLiteral("DAV:");
    QXmlStreamReader reader(xml);
    QString href;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.namespaceUri() != dav)
            continue;
        if (reader.name() == QLatin1String("href"))
            href = reader.readElementText();
        else if (reader.name() == QLatin1String("displayname") && isCollectionItself(collection, href))
            return reader.readElementText().trimmed();
    }
    return QString();
}

} // namespace

QString AccountProbe::Finding::text() const
{
    if (!ok)
        return error;
    return QStringLiteral("Calendar \"%1\" with %2 %3")
        .arg(calendarName)
        .arg(events)
        .arg(events == 1 ? QStringLiteral("event") : QStringLiteral("events"));
}

AccountProbe::Finding AccountProbe::fromMultiStatus(const QByteArray& xml, const QUrl& collection)
{
    Finding f;
    QList<MultiStatus::Response> responses;
    if (!MultiStatus::parse(xml, responses, f.error)) {
        f.error = QStringLiteral("%1: the server's answer is malformed: %2")
                      .arg(collection.toDisplayString(), f.error);
        return f;
    }
    bool calendar = false;
    for (const MultiStatus::Response& r : responses) {
        if (isCollectionItself(collection, r.href))
            calendar = r.isCalendar;
        else if (!r.isCollection && (r.status == 0 || r.status == 200))
            ++f.events;
    }
    if (!calendar) {
        f.error =
            QStringLiteral("not a calendar: %1 is no calendar collection (is it the calendar's own URL?)")
                .arg(collection.toDisplayString());
        return f;
    }
    f.ok = true;
    f.calendarName = displayName(xml, collection);
    if (f.calendarName.isEmpty())
        f.calendarName = withoutSlash(collection.path(QUrl::FullyDecoded)).section(QLatin1Char('/'), -1);
    return f;
}

AccountProbe::Finding AccountProbe::probe(CalDavClient& client, const QUrl& collection)
{
    const CalDavClient::Request request{"PROPFIND",
                                        collection,
                                        {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}},
                                        kPropfind};
    const CalDavClient::Reply reply = client.send({request}).constFirst();
    if (reply.status != 207 || !reply.networkError.isEmpty()) {
        Finding f;
        // A certificate refused comes with its fingerprint, a 401 with what it means.
        f.error = client.describeFailure(request, reply);
        return f;
    }
    return fromMultiStatus(reply.body, collection);
}

AccountProbe::Finding AccountProbe::tryAccount(const QUrl& url, const QString& user, const QString& password,
                                               const QString& caFile, int timeoutMs)
{
    Finding f;
    if (!CalDavAccount::checkUrl(url, false, f.error))
        return f;
    const QByteArray authorization =
        user.isEmpty() ? QByteArray() : "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
    CalDavClient client(authorization);
    client.setTimeout(timeoutMs);
    if (!client.trust(caFile, f.error))
        return f;
    return probe(client, CalDavClient::collectionUrl(url));
}
