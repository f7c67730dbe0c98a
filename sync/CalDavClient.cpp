#include "CalDavClient.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <atomic>

namespace {

const QByteArray kListBody = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">\n"
                             " <D:prop><D:resourcetype/><D:getetag/><D:sync-token/></D:prop>\n"
                             "</D:propfind>\n";

const QByteArray kQueryBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<C:calendar-query xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">\n"
    " <D:prop><D:getetag/><C:calendar-data/></D:prop>\n"
    " <C:filter><C:comp-filter name=\"VCALENDAR\">"
    "<C:comp-filter name=\"VEVENT\"/></C:comp-filter></C:filter>\n"
    "</C:calendar-query>\n";

std::atomic<qint64> g_requests{0}, g_bytesSent{0}, g_bytesReceived{0};

// A server that cuts its answer short again and again would otherwise keep the client asking forever.
constexpr int kMaxSyncPages = 1000;

// The refusal of a token the server no longer knows: RFC 6578's DAV:valid-sync-token precondition, or
// a conflict naming the token itself.
bool refusesToken(const CalDavClient::Reply& reply, const QString& token)
{
    if (reply.status != 403 && reply.status != 409 && reply.status != 412)
        return false;
    return reply.body.contains("valid-sync-token") ||
           (!token.isEmpty() && reply.body.contains(token.toUtf8()));
}

QString meaningOf(int status)
{
    switch (status) {
    case 401:
        return QStringLiteral("the server did not accept the user name and password");
    case 403:
        return QStringLiteral("the server does not let this user do that here");
    case 404:
        return QStringLiteral("nothing is at this URL (is it the calendar's own URL?)");
    case 405:
    case 501:
        return QStringLiteral("this URL is not a CalDAV calendar");
    case 412:
        return QStringLiteral("someone changed the event on the server at the same time; run the command "
                              "again");
    case 507:
        return QStringLiteral("the server has no space left");
    }
    return QString();
}

} // namespace

CalDavClient::CalDavClient(const QByteArray& authorization)
    : m_network(std::make_unique<QNetworkAccessManager>()), m_authorization(authorization)
{
    // Credentials go with every request, so they must never follow a redirect to another server.
    m_network->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
}

CalDavClient::~CalDavClient() = default;

CalDavClient::Traffic CalDavClient::processTraffic()
{
    return {g_requests.load(), g_bytesSent.load(), g_bytesReceived.load()};
}

QUrl CalDavClient::collectionUrl(const QUrl& url)
{
    QUrl u = url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (!u.path().endsWith(QLatin1Char('/')))
        u.setPath(u.path() + QLatin1Char('/'));
    return u;
}

CalDavClient::Request CalDavClient::putRequest(const QUrl& collection, const QString& href,
                                               const QByteArray& text, const QString& ifMatch)
{
    QUrl url = collection;
    url.setPath(href, QUrl::DecodedMode);
    return CalDavClient::Request{"PUT",
                                 url,
                                 {ifMatch.isEmpty() ? qMakePair(QByteArray("If-None-Match"), QByteArray("*"))
                                                    : qMakePair(QByteArray("If-Match"), ifMatch.toUtf8()),
                                  {"Content-Type", "text/calendar; charset=utf-8"}},
                                 text};
}

CalDavClient::Request CalDavClient::deleteRequest(const QUrl& collection, const QString& href,
                                                  const QString& ifMatch)
{
    QUrl url = collection;
    url.setPath(href, QUrl::DecodedMode);
    return CalDavClient::Request{"DELETE", url, {{"If-Match", ifMatch.toUtf8()}}, {}};
}

QString CalDavClient::normalHref(const QUrl& base, const QString& href)
{
    return base.resolved(QUrl(href, QUrl::TolerantMode)).path(QUrl::FullyDecoded);
}

QList<CalDavClient::Reply> CalDavClient::send(const QList<Request>& requests)
{
    QList<Reply> replies(requests.size());
    QList<QNetworkReply*> sent(requests.size(), nullptr);
    QList<QElapsedTimer> clocks(requests.size());
    qsizetype next = 0;
    int open = 0;
    QEventLoop loop;
    // At most m_connections requests in flight: Qt gives each its own kept-alive connection, and a request
    // waits for the next one free. Independent requests over several connections overlap the server's
    // time per request, which is most of a publish.
    std::function<void()> startNext = [&] {
        while (open < m_connections && next < requests.size()) {
            const qsizetype i = next++;
            const Request& r = requests.at(i);
            QNetworkRequest request(r.url);
            request.setTransferTimeout(m_timeoutMs);
            request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
            if (m_tls)
                request.setSslConfiguration(*m_tls);
            if (!m_authorization.isEmpty())
                request.setRawHeader("Authorization", m_authorization);
            for (const auto& h : r.headers)
                request.setRawHeader(h.first, h.second);
            clocks[i].start();
            QNetworkReply* reply = m_network->sendCustomRequest(request, r.verb, r.body);
            sent[i] = reply;
            ++m_requests;
            m_bytesSent += r.body.size();
            ++g_requests;
            g_bytesSent += r.body.size();
            ++open;
            QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                             [&replies, reply, i](qint64 received) {
                                 if (received > kMaxReplySize && !replies[i].tooLarge) {
                                     replies[i].tooLarge = true;
                                     reply->abort();
                                 }
                             });
            QObject::connect(
                reply, &QNetworkReply::sslErrors, reply,
                [this, &replies, i](const QList<QSslError>& errors) { replies[i].tlsErrors = errors; });
            QObject::connect(reply, &QNetworkReply::finished, &loop,
                             [this, &open, &loop, &startNext, &next, &requests] {
                                 --open;
                                 if (m_progress)
                                     m_progress(next - open, requests.size());
                                 if (next < requests.size())
                                     startNext();
                                 else if (open == 0)
                                     loop.quit();
                             });
        }
    };
    startNext();
    if (open > 0)
        loop.exec();

    for (qsizetype i = 0; i < sent.size(); ++i) {
        QNetworkReply* reply = sent.at(i);
        Reply& r = replies[i];
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        r.etag = reply->rawHeader("ETag").trimmed();
        if (!r.tooLarge && reply->isReadable())
            r.body = reply->readAll();
        m_bytesReceived += r.body.size();
        g_bytesReceived += r.body.size();
        const QNetworkReply::NetworkError error = reply->error();
        if (r.tooLarge) {
            r.networkError = QStringLiteral("the reply is larger than %1 MiB").arg(kMaxReplySize >> 20);
        } else if (error != QNetworkReply::NoError &&
                   (r.status == 0 || error < QNetworkReply::ContentAccessDenied)) {
            // No answer, or one cut off by the connection (an HTTP error status is no network error).
            r.timedOut =
                error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError;
            r.networkError = r.timedOut ? QStringLiteral("no answer within %1 s").arg(m_timeoutMs / 1000.0)
                                        : reply->errorString();
            if (!r.tlsErrors.isEmpty())
                r.networkError = tlsRefusal(r.tlsErrors);
        }
        if (m_log)
            m_log(QStringLiteral("%1 %2 -> %3 (%4 ms)")
                      .arg(QString::fromLatin1(requests.at(i).verb), requests.at(i).url.toDisplayString(),
                           r.status ? QString::number(r.status) : r.networkError)
                      .arg(clocks.at(i).elapsed()));
        reply->deleteLater();
    }
    // The replies go with the next event loop or with the manager; neither must see a dangling lambda.
    for (QNetworkReply* reply : sent)
        reply->disconnect();
    return replies;
}

QString CalDavClient::describeFailure(const Request& request, const Reply& reply) const
{
    const QString url = request.url.toDisplayString(QUrl::RemoveUserInfo);
    if (reply.status == 0)
        return QStringLiteral("%1: %2").arg(url, reply.networkError.isEmpty() ? QStringLiteral("no answer")
                                                                              : reply.networkError);
    QString line = QStringLiteral("%1: HTTP %2").arg(url).arg(reply.status);
    if (!reply.reason.isEmpty())
        line += QLatin1Char(' ') + reply.reason;
    if (!reply.networkError.isEmpty())
        line += QStringLiteral(": ") + reply.networkError;
    else if (const QString meaning = meaningOf(reply.status); !meaning.isEmpty())
        line += QStringLiteral(": ") + meaning;
    return line;
}

bool CalDavClient::multiStatus(const Request& request, QList<MultiStatus::Response>& responses,
                               QString& error)
{
    const Reply reply = send({request}).constFirst();
    if (reply.status != 207 || !reply.networkError.isEmpty()) {
        Reply shown = reply;
        if (reply.ok() && reply.networkError.isEmpty())
            shown.networkError = QStringLiteral("expected a WebDAV multistatus (207); is this a CalDAV URL?");
        error = describeFailure(request, shown);
        return false;
    }
    QString why;
    if (!MultiStatus::parse(reply.body, responses, why)) {
        error = QStringLiteral("%1: HTTP 207, but the multistatus is malformed: %2")
                    .arg(request.url.toDisplayString(QUrl::RemoveUserInfo), why);
        return false;
    }
    return true;
}

bool CalDavClient::list(const QUrl& url, QList<MultiStatus::Response>& members, QString& error,
                        QString* syncToken)
{
    Request request{
        "PROPFIND", url, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}}, kListBody};
    QList<MultiStatus::Response> responses;
    if (!multiStatus(request, responses, error))
        return false;
    const QString self = url.path(QUrl::FullyDecoded);
    members.clear();
    bool isCalendar = false;
    for (const MultiStatus::Response& r : responses) {
        if (normalHref(url, r.href) == self || normalHref(url, r.href) + QLatin1Char('/') == self) {
            isCalendar = r.isCalendar;
            if (syncToken)
                *syncToken = r.syncToken;
            continue;
        }
        if (!r.isCollection)
            members << r;
    }
    if (!isCalendar) {
        error = QStringLiteral("%1: HTTP 207, but this is not a calendar collection")
                    .arg(url.toDisplayString(QUrl::RemoveUserInfo));
        return false;
    }
    return true;
}

bool CalDavClient::syncReport(const QUrl& collection, const QString& token,
                              QList<MultiStatus::Response>& responses, QString& newToken, DeltaStatus& status,
                              QString& error)
{
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                            "<D:sync-collection xmlns:D=\"DAV:\">\n"
                            " <D:sync-token>" +
                            token.toHtmlEscaped().toUtf8() +
                            "</D:sync-token>\n"
                            " <D:sync-level>1</D:sync-level>\n"
                            " <D:prop><D:getetag/></D:prop>\n"
                            "</D:sync-collection>\n";
    // RFC 6578 defines the report for depth 0 only.
    const Request request{
        "REPORT", collection, {{"Depth", "0"}, {"Content-Type", "application/xml; charset=utf-8"}}, body};
    const Reply reply = send({request}).constFirst();
    status = DeltaStatus::Ok;
    responses.clear();
    newToken.clear();
    if (reply.status == 207 && reply.networkError.isEmpty()) {
        QString why;
        if (!MultiStatus::parse(reply.body, responses, why, &newToken)) {
            error = QStringLiteral("%1: HTTP 207, but the multistatus is malformed: %2")
                        .arg(collection.toDisplayString(QUrl::RemoveUserInfo), why);
            return false;
        }
        if (newToken.isEmpty())
            status = DeltaStatus::Unsupported;
        return true;
    }
    if (reply.status != 0 && reply.networkError.isEmpty()) {
        if (refusesToken(reply, token)) {
            status = DeltaStatus::TokenInvalid;
            return true;
        }
        if (reply.status == 400 || reply.status == 403 || reply.status == 405 || reply.status == 501) {
            status = DeltaStatus::Unsupported;
            return true;
        }
    }
    Reply shown = reply;
    if (reply.ok() && reply.networkError.isEmpty())
        shown.networkError = QStringLiteral("expected a WebDAV multistatus (207)");
    error = describeFailure(request, shown);
    return false;
}

bool CalDavClient::changesSince(const QUrl& collection, const QString& token,
                                QList<MultiStatus::Response>& changed, QStringList& removed,
                                QString& newToken, DeltaStatus& status, QString& error)
{
    changed.clear();
    removed.clear();
    newToken.clear();
    const QString self = collection.path(QUrl::FullyDecoded);
    // Each member's last word: a later page of a truncated answer overrules an earlier one.
    QList<MultiStatus::Response> latest;
    QHash<QString, qsizetype> at;
    QString from = token;
    for (int page = 0;; ++page) {
        QList<MultiStatus::Response> responses;
        QString next;
        if (!syncReport(collection, from, responses, next, status, error))
            return false;
        if (status != DeltaStatus::Ok)
            return true;
        bool truncated = false;
        for (const MultiStatus::Response& r : responses) {
            const QString href = normalHref(collection, r.href);
            if (href == self || href + QLatin1Char('/') == self) {
                truncated = truncated || r.status == 507;
                continue;
            }
            if (r.isCollection || href.endsWith(QLatin1Char('/')))
                continue;
            if (const auto it = at.constFind(href); it != at.cend()) {
                latest[*it] = r;
            } else {
                at.insert(href, latest.size());
                latest << r;
            }
        }
        if (!truncated) {
            newToken = next;
            break;
        }
        if (next == from || page + 1 >= kMaxSyncPages) {
            error = QStringLiteral("%1: the server cuts its list of changes short without going on")
                        .arg(collection.toDisplayString(QUrl::RemoveUserInfo));
            return false;
        }
        from = next;
    }
    for (const MultiStatus::Response& r : latest) {
        if (r.status == 404)
            removed << normalHref(collection, r.href);
        else if (r.status == 0 || r.status / 100 == 2)
            changed << r;
    }
    return true;
}

bool CalDavClient::queryEvents(const QUrl& url, QList<MultiStatus::Response>& events, QString& error)
{
    Request request{
        "REPORT", url, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}}, kQueryBody};
    QList<MultiStatus::Response> responses;
    if (!multiStatus(request, responses, error))
        return false;
    events.clear();
    for (const MultiStatus::Response& r : responses)
        if (!r.isCollection && (r.status == 0 || r.status / 100 == 2))
            events << r;
    return true;
}

bool CalDavClient::multiget(const QUrl& url, const QStringList& hrefs, QList<MultiStatus::Response>& events,
                            QString& error)
{
    events.clear();
    if (hrefs.isEmpty())
        return true;
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<C:calendar-multiget xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">\n"
                      " <D:prop><D:getetag/><C:calendar-data/></D:prop>\n";
    for (const QString& href : hrefs) {
        QUrl u = url;
        u.setPath(href, QUrl::DecodedMode);
        body += " <D:href>" + u.path(QUrl::FullyEncoded).toHtmlEscaped().toUtf8() + "</D:href>\n";
    }
    body += "</C:calendar-multiget>\n";
    Request request{
        "REPORT", url, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}}, body};
    QList<MultiStatus::Response> responses;
    if (!multiStatus(request, responses, error))
        return false;
    for (const MultiStatus::Response& r : responses)
        if (!r.isCollection && (r.status == 0 || r.status / 100 == 2))
            events << r;
    return true;
}

QString CalDavClient::tlsRefusal(const QList<QSslError>& errors)
{
    QString reasons;
    QByteArray fingerprint;
    for (const QSslError& e : errors) {
        if (!reasons.isEmpty())
            reasons += QStringLiteral("; ");
        reasons += e.errorString();
        if (fingerprint.isEmpty() && !e.certificate().isNull())
            fingerprint = e.certificate().digest(QCryptographicHash::Sha256);
    }
    QString line = QStringLiteral("the server's certificate is not trusted (%1)").arg(reasons);
    if (!fingerprint.isEmpty())
        line +=
            QStringLiteral("; its SHA-256 fingerprint is %1; trust its CA with --ca-file FILE if it is yours")
                .arg(QString::fromLatin1(fingerprint.toHex(':').toUpper()));
    return line;
}

bool CalDavClient::trust(const QString& caFile, QString& error)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> authorities = config.caCertificates();
    // OpenSSL's own variables, which Qt's store does not read: a bundle file and a hashed folder.
    const QString bundle = qEnvironmentVariable("SSL_CERT_FILE");
    if (!bundle.isEmpty())
        authorities += QSslCertificate::fromPath(bundle, QSsl::Pem);
    const QString folder = qEnvironmentVariable("SSL_CERT_DIR");
    for (const QString& dir : folder.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        authorities += QSslCertificate::fromPath(dir + QStringLiteral("/*"), QSsl::Pem,
                                                 QSslCertificate::PatternSyntax::Wildcard);
    if (!caFile.isEmpty()) {
        QFile file(caFile);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("%1: %2").arg(caFile, file.errorString());
            return false;
        }
        const QList<QSslCertificate> own = QSslCertificate::fromData(file.read(kMaxReplySize), QSsl::Pem);
        if (own.isEmpty()) {
            error = QStringLiteral("%1: no PEM certificate in it").arg(caFile);
            return false;
        }
        authorities += own;
    }
    config.setCaCertificates(authorities);
    m_tls = std::make_unique<QSslConfiguration>(config);
    return true;
}
