#pragma once

#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "DataFolderLock.h"
#include "YearReader.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QTextStream;

// What every CalDAV command does first: its command line, the account and its trust (the certificate
// authority file remembered for it), and the data folder's lock.
class CalDavSession
{
public:
    enum class Command { Publish, Pull, Sync };
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
    };

    // Parses the command line of publish and sync (URL as --url) or pull (URL first).
    static bool parseOptions(const QStringList& args, Command command, Options& o, QString& error);

    // False with `error`; `nothing` says what was not done ("published", "imported", "synced").
    bool open(QString& error, const QString& nothing, int timeoutMs, QTextStream* log);

    Options o;
    CalDavAccount account;
    QUrl collection;
    QString shownUrl;
    std::unique_ptr<YearReader> reader;
    std::unique_ptr<DataFolderLock> lock;
    std::unique_ptr<CalDavClient> client;
    QString statePath;
};
