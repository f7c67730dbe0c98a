#pragma once

#include "MultiStatus.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QSslConfiguration;
class QSslError;

// HTTP for CalDAV through Qt Network: independent requests go out together over kept-alive connections
// (up to connections() at once, each on its own) and the calls return when every reply is in. One client
// per command.
class CalDavClient
{
public:
    // A reply body larger than this is cut off and reported; no calendar of one user comes near it.
    static constexpr qint64 kMaxReplySize = qint64(64) << 20;
    static constexpr int kDefaultTimeoutMs = 30000;
    // Qt Network opens at most six connections to one server; more requests in flight would only queue.
    static constexpr int kMaxConnections = 6;

    struct Request
    {
        QByteArray verb;
        QUrl url;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
    };

    struct Reply
    {
        int status = 0;       // HTTP status, 0 when no answer came
        QString reason;       // HTTP reason phrase
        QString networkError; // why no answer came
        bool timedOut = false;
        bool tooLarge = false;
        QByteArray etag; // the ETag header
        QByteArray body;
        QList<QSslError> tlsErrors; // why the server's certificate was refused

        bool ok() const { return status >= 200 && status <= 299 && networkError.isEmpty(); }
    };

    // `authorization`: the Authorization header sent with every request (sent up front, which saves
    // each request the round trip of a 401), or empty.
    explicit CalDavClient(const QByteArray& authorization);
    ~CalDavClient();
    CalDavClient(const CalDavClient&) = delete;
    CalDavClient& operator=(const CalDavClient&) = delete;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // How many requests may be in flight at once, 1 to kMaxConnections.
    void setConnections(int n) { m_connections = qBound(1, n, kMaxConnections); }
    int connections() const { return m_connections; }
    // The certificate authorities trusted: the system's, those named by SSL_CERT_FILE and SSL_CERT_DIR,
    // and the PEM file `caFile` when given. False with `error` when that file gives no certificate.
    bool trust(const QString& caFile, QString& error);
    // One line for a refused certificate: why, and its SHA-256 fingerprint to compare with the server's.
    static QString tlsRefusal(const QList<QSslError>& errors);
    // With a log, every request gets a call with its line (no newline): verb, URL, status and time.
    void setLog(std::function<void(const QString&)> log) { m_log = std::move(log); }
    int requestCount() const { return m_requests; }
    // Called as the replies of one send() come in: how many of how many are answered.
    void setProgress(std::function<void(qsizetype, qsizetype)> progress) { m_progress = std::move(progress); }
    // Request and reply bodies only: headers, which Qt writes itself, are not counted.
    qint64 bytesSent() const { return m_bytesSent; }
    qint64 bytesReceived() const { return m_bytesReceived; }
    // The same counts over every client of this process so far: a command run in-process is measured by
    // their difference.
    struct Traffic
    {
        qint64 requests = 0;
        qint64 bytesSent = 0;
        qint64 bytesReceived = 0;
    };
    static Traffic processTraffic();

    // Sends all of `requests` at once and waits for all replies, in the same order.
    QList<Reply> send(const QList<Request>& requests);

    // The objects in the calendar collection at `url` with their ETags (PROPFIND, depth 1), and in
    // `syncToken`, when given, the collection's sync token (empty when the server offers none). False
    // with `error` (one line) when that fails or `url` is no calendar collection.
    bool list(const QUrl& url, QList<MultiStatus::Response>& members, QString& error,
              QString* syncToken = nullptr);

    enum class DeltaStatus { Ok, TokenInvalid, Unsupported };
    // The members changed (href as the server wrote it, and ETag) and removed (normalHref form) since
    // `token`, with the new token (RFC 6578: REPORT sync-collection, sync-level 1, getetag only; a
    // truncated answer is followed up until complete). TokenInvalid: the server no longer knows the token;
    // Unsupported: it offers no sync-collection. Both leave the lists empty and return true. False with
    // `error` for any other failure (network, 401, 5xx, a malformed answer).
    bool changesSince(const QUrl& collection, const QString& token, QList<MultiStatus::Response>& changed,
                      QStringList& removed, QString& newToken, DeltaStatus& status, QString& error);
    // Every event of the collection with its data (REPORT calendar-query).
    bool queryEvents(const QUrl& url, QList<MultiStatus::Response>& events, QString& error);
    // The objects at `hrefs` (decoded paths) with their data, in one REPORT calendar-multiget.
    bool multiget(const QUrl& url, const QStringList& hrefs, QList<MultiStatus::Response>& events,
                  QString& error);

    // One line for a failed request: the URL, then the HTTP status or why none came, then what it means.
    QString describeFailure(const Request& request, const Reply& reply) const;

    // `href` from a reply resolved against `base`, as a decoded path: the one form hrefs are compared in.
    static QString normalHref(const QUrl& base, const QString& href);
    // The collection URL in its one form: no user name, no query or fragment, ending in a slash.
    static QUrl collectionUrl(const QUrl& url);
    // A PUT of `text` to `href` (a decoded path) in the collection: with If-Match `ifMatch`, or with
    // If-None-Match * where `ifMatch` is empty, so that it never overwrites what another client wrote.
    static Request putRequest(const QUrl& collection, const QString& href, const QByteArray& text,
                              const QString& ifMatch);
    // A DELETE of `href` that must still find `ifMatch`.
    static Request deleteRequest(const QUrl& collection, const QString& href, const QString& ifMatch);

private:
    bool multiStatus(const Request& request, QList<MultiStatus::Response>& responses, QString& error);
    // One sync-collection REPORT: the responses and the token of a 207, or the status it means.
    bool syncReport(const QUrl& collection, const QString& token, QList<MultiStatus::Response>& responses,
                    QString& newToken, DeltaStatus& status, QString& error);

    std::unique_ptr<QNetworkAccessManager> m_network;
    QByteArray m_authorization;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_connections = kMaxConnections;
    std::unique_ptr<QSslConfiguration> m_tls;
    int m_requests = 0;
    qint64 m_bytesSent = 0;
    qint64 m_bytesReceived = 0;
    std::function<void(const QString&)> m_log;
    std::function<void(qsizetype, qsizetype)> m_progress;
};
