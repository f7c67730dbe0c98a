#pragma once

#include "CalDavAccount.h"
#include "CalDavClient.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

// What every CalDAV run does first: the account and its trust (the certificate authority file remembered
// for it, once it worked), and the client.
class CalDavSession
{
public:
    struct Options
    {
        QString dir;
        QUrl url;
        QString user;
        int year = 0;
        bool force = false;
        bool replace = false;
        bool preferServer = false;
        bool insecureHttp = false;
        bool verbose = false;
        bool caFileGiven = false;
        QString caFile;
        int connections = CalDavClient::kMaxConnections;
        // A password the caller already has (the keyring's, or one the user typed): used as it is.
        QString password;
    };

    // False with `error`; `nothing` says what was not done ("published", "imported", "synced").
    bool open(QString& error, const QString& nothing, int timeoutMs);

    Options o;
    CalDavAccount account;
    QUrl collection;
    QString shownUrl;
    std::unique_ptr<CalDavClient> client;
};
