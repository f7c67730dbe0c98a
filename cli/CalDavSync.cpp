#include "CalDavSync.h"

#include "CalDavAccount.h"
#include "CalDavClient.h"
#include "Calendar.h"
#include "CalendarExport.h"
#include "DataFolderLock.h"
#include "DataStore.h"
#include "DurableFile.h"
#include "HolidayImport.h"
#include "ICalendarFile.h"
#include "ProjectList.h"
#include "PublishState.h"
#include "SyncDecision.h"
#include "SyncPlan.h"
#include "TextCodec.h"
#include "YearDocument.h"
#include "YearItems.h"
#include "YearReader.h"
#include "YearRegistry.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>
#include <memory>

namespace {

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

const QCommandLineOption kDir(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kUrl(QStringLiteral("url"), QString(), QStringLiteral("URL"));
const QCommandLineOption kUser(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kForce(QStringLiteral("force"));
const QCommandLineOption kReplace(QStringLiteral("replace"));
const QCommandLineOption kPrefer(QStringLiteral("prefer"), QString(), QStringLiteral("SIDE"));
const QCommandLineOption kCaFile(QStringLiteral("ca-file"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kConnections(QStringLiteral("connections"), QString(), QStringLiteral("N"));
const QCommandLineOption kInsecureHttp(QStringLiteral("insecure-http"));
const QCommandLineOption kVerbose(QStringLiteral("verbose"));

// Parses the command line of publish and sync (URL as --url) or pull (URL first).
bool parseOptions(const QStringList& args, Command command, Options& o, QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kDir, kUser, kInsecureHttp, kVerbose, kCaFile, kConnections});
    if (command == Command::Publish)
        parser.addOption(kForce);
    else
        parser.addOptions({kReplace, kPrefer});
    if (command != Command::Pull)
        parser.addOption(kUrl);
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    const QStringList positional = parser.positionalArguments();
    const int wanted = command == Command::Pull ? 2 : 1;
    if (positional.size() != wanted) {
        error = positional.size() < wanted ? QStringLiteral("missing arguments")
                                           : QStringLiteral("too many arguments");
        return false;
    }
    if (command != Command::Pull && !parser.isSet(kUrl)) {
        error = QStringLiteral("--url URL is missing");
        return false;
    }
    bool ok = false;
    o.year = positional.constLast().toInt(&ok);
    if (!ok || o.year < Calendar::kFirstYear || o.year > Calendar::kLastYear) {
        error = QStringLiteral("YEAR must be a year from 1 to 9999");
        return false;
    }
    if (command != Command::Publish && parser.isSet(kPrefer)) {
        const QString side = parser.value(kPrefer);
        if (side != QLatin1String("planner") && side != QLatin1String("server")) {
            error = QStringLiteral("--prefer takes planner or server");
            return false;
        }
        o.preferServer = side == QLatin1String("server");
    }
    if (parser.isSet(kConnections)) {
        o.connections = parser.value(kConnections).toInt(&ok);
        if (!ok || o.connections < 1 || o.connections > CalDavClient::kMaxConnections) {
            error = QStringLiteral("--connections takes a number from 1 to %1")
                        .arg(CalDavClient::kMaxConnections);
            return false;
        }
    }
    o.url = QUrl(command == Command::Pull ? positional.constFirst() : parser.value(kUrl), QUrl::StrictMode);
    o.dir = parser.isSet(kDir) ? parser.value(kDir) : QDir::currentPath();
    o.user = parser.value(kUser);
    o.force = command == Command::Publish && parser.isSet(kForce);
    o.replace = command != Command::Publish && parser.isSet(kReplace);
    o.insecureHttp = parser.isSet(kInsecureHttp);
    o.verbose = parser.isSet(kVerbose);
    o.caFileGiven = parser.isSet(kCaFile);
    if (o.caFileGiven && !parser.value(kCaFile).isEmpty())
        o.caFile = QFileInfo(parser.value(kCaFile)).absoluteFilePath();
    return true;
}

// The certificate authority file of each account (server and user), remembered from --ca-file so that
// the next run of any command trusts the same server. Not a secret: a path.
QString accountsPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("tolva/caldav-accounts.json"));
}

QString accountKey(const QUrl& url, const QString& user)
{
    return QStringLiteral("%1://%2@%3:%4")
        .arg(url.scheme().toLower(), user, url.host().toLower())
        .arg(url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80));
}

QJsonObject readAccounts()
{
    QFile file(accountsPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.read(1 << 20)).object();
}

bool rememberCaFile(const QString& key, const QString& caFile, QString& error)
{
    QJsonObject accounts = readAccounts();
    if (caFile.isEmpty())
        accounts.remove(key);
    else
        accounts.insert(key, QJsonObject{{QStringLiteral("caFile"), caFile}});
    const QString path = accountsPath();
    QDir().mkpath(QFileInfo(path).path());
    const StoreResult result =
        DurableFile::write(path, QJsonDocument(accounts).toJson(QJsonDocument::Indented));
    if (!result.ok())
        error = QStringLiteral("%1: %2").arg(path, result.reason.isEmpty() ? result.message : result.reason);
    return result.ok();
}

QByteArray contentHash(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

// A red day as the year holds it, whatever UID or revision it goes out under: what tells whether a red
// day a foreign event gave was changed in the planner since.
QByteArray redDayHash(CalendarEvent e)
{
    e.uid.clear();
    e.sequence = 0;
    e.lastModified = QDateTime();
    return contentHash(ICalendarFile::canonical(e));
}

QString conflictText(SyncPlan::Reason reason)
{
    switch (reason) {
    case SyncPlan::Reason::ChangedOnServer:
        return QStringLiteral("changed on the server since the last publish");
    case SyncPlan::Reason::DeletedOnServer:
        return QStringLiteral("deleted on the server since the last publish");
    case SyncPlan::Reason::UnknownOnServer:
        return QStringLiteral("already on the server, but not put there by the last publish");
    case SyncPlan::Reason::RemovedButChanged:
        return QStringLiteral("removed here, but changed on the server since the last publish");
    default:
        break;
    }
    return QString();
}

// The year's events under their UIDs, each with its revision: SEQUENCE and LAST-MODIFIED stay as last
// sent while the content is the same, and rise when it changed.
struct Outgoing
{
    QList<CalendarEvent> events;
    QList<QByteArray> contents; // canonical
    QHash<QString, qsizetype> byUid;
};

Outgoing prepare(const YearData& year, const QList<SyncPlan::Known>& known, const QDateTime& now,
                 QStringList& notes)
{
    QHash<QString, const SyncPlan::Known*> knownByUid;
    for (const SyncPlan::Known& k : known)
        knownByUid.insert(k.uid, &k);
    Outgoing out;
    out.events = YearItems::events(year, known, notes);
    for (qsizetype i = 0; i < out.events.size(); ++i) {
        CalendarEvent& e = out.events[i];
        const QByteArray content = ICalendarFile::canonical(e);
        const SyncPlan::Known* k = knownByUid.value(e.uid);
        if (k && k->content == content) {
            e.sequence = k->sequence;
            e.lastModified = QDateTime::fromString(k->modified, Qt::ISODate);
        } else {
            e.sequence = k ? k->sequence + 1 : 0;
            e.lastModified = now;
        }
        out.contents << content;
        out.byUid.insert(e.uid, i);
    }
    return out;
}

QByteArray wireText(const CalendarEvent& e, const QDateTime& now, QStringList& notes)
{
    QString zoneNote;
    const QByteArray text = ICalendarFile::write({e}, QTimeZone::systemTimeZoneId(), now, zoneNote);
    if (!zoneNote.isEmpty() && !notes.contains(zoneNote))
        notes << zoneNote;
    return text;
}

SyncPlan::Known knownFrom(const CalendarEvent& e, const QString& href, const QString& etag,
                          const QByteArray& content)
{
    SyncPlan::Known k;
    k.uid = e.uid;
    k.href = href;
    k.etag = etag;
    k.content = content;
    k.hash = contentHash(content);
    k.position = e.kind == CalendarEvent::Kind::Project ? int(e.position) : -1;
    k.key = YearItems::keyOf(e);
    k.sequence = e.sequence;
    k.modified = e.lastModified.isValid() ? e.lastModified.toUTC().toString(Qt::ISODate) : QString();
    return k;
}

CalDavClient::Request putRequest(const QUrl& collection, const QString& href, const QByteArray& text,
                                 const QString& ifMatch)
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

CalDavClient::Request deleteRequest(const QUrl& collection, const QString& href, const QString& ifMatch)
{
    QUrl url = collection;
    url.setPath(href, QUrl::DecodedMode);
    return CalDavClient::Request{"DELETE", url, {{"If-Match", ifMatch.toUtf8()}}, {}};
}

// A server may change what it stores and then send no ETag; one more listing gives it.
void fillMissingEtags(CalDavClient& client, const QUrl& collection, QHash<QString, SyncPlan::Known>& next)
{
    QList<MultiStatus::Response> after;
    QString listError;
    QHash<QString, QString> etags;
    if (client.list(collection, after, listError))
        for (const MultiStatus::Response& m : after)
            etags.insert(CalDavClient::normalHref(collection, m.href), m.etag);
    for (auto it = next.begin(); it != next.end(); ++it)
        if (it->etag.isEmpty())
            it->etag = etags.value(it->href);
}

QString dateText(const QDate& d)
{
    return d.toString(Qt::ISODate);
}

// One value of an item for a conflict line: its text and day, a project's name and days.
QString valueText(const CalendarEvent* e)
{
    if (!e)
        return QStringLiteral("deleted");
    if (e->kind == CalendarEvent::Kind::Project)
        return QStringLiteral("\"%1\" %2 to %3")
            .arg(e->summary, dateText(e->start), dateText(e->endExclusive.addDays(-1)));
    const QString text = CalendarExport::summaryOf(e->text());
    if (e->timed)
        return QStringLiteral("\"%1\" at %2 %3%4")
            .arg(text, dateText(e->start), e->startTime.toString(QStringLiteral("HH:mm:ss")),
                 e->alarmOn ? QString() : QStringLiteral(" (off)"));
    return QStringLiteral("\"%1\" on %2")
        .arg(text, e->yearly ? e->start.toString(QStringLiteral("MM-dd")) + QStringLiteral(" every year")
                             : dateText(e->start));
}

// A text from another client as the planner stores it: a changed description is the whole text; a
// changed summary alone replaces the first line and keeps the rest.
QString mergedText(const CalendarEvent& server, const CalendarEvent* base)
{
    if (!base || server.description != base->description || server.summary == base->summary)
        return server.text();
    const QString rest = base->text().section(QLatin1Char('\n'), 1);
    return rest.isEmpty() ? server.summary : server.summary + QLatin1Char('\n') + rest;
}

QByteArray storedText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return TextCodec::encode(text);
}

SYSTEMTIME momentOf(const QDate& d, const QTime& t)
{
    SYSTEMTIME st = Calendar::makeDate(d.year(), d.month(), d.day());
    st.wHour = std::uint16_t(t.hour());
    st.wMinute = std::uint16_t(t.minute());
    st.wSecond = std::uint16_t(t.second());
    return st;
}

// Whether the year can hold a planner's event read from the server.
bool holdsEvent(const CalendarEvent& e, int year)
{
    if (!e.uid.startsWith(QString::number(year) + QLatin1Char('-')) &&
        !e.uid.startsWith(QLatin1String("every-year-")) && e.ours)
        return false; // another year's, sharing the calendar
    if (!e.start.isValid())
        return false;
    switch (e.kind) {
    case CalendarEvent::Kind::Project:
        return e.endExclusive.isValid() && e.endExclusive > e.start;
    case CalendarEvent::Kind::RedDay:
        return !e.timed && (e.yearly || e.start.year() == year) && !e.text().isEmpty();
    case CalendarEvent::Kind::Memo:
        return !e.timed && e.start.year() == year && !e.text().isEmpty();
    case CalendarEvent::Kind::Alarm:
        return e.timed && e.start.year() == year;
    }
    return false;
}

// Applies server versions of items to the year through its one document, so that every-year red days
// reach ForeverRedDays.year by the planner's own rules.
class YearEdits
{
public:
    YearEdits(YearDocument& document, int year) : m_doc(document), m_year(year) {}

    // `local`: the item as the year has it now (where it is), null for an item new here. `base`: as the
    // last sync agreed, null when unknown. False with `why` when the year cannot hold it.
    bool apply(const CalendarEvent& server, const CalendarEvent* local, const CalendarEvent* base,
               QString& why)
    {
        switch (server.kind) {
        case CalendarEvent::Kind::Memo: {
            const int n = dayIndex(server.start);
            if (n < 0)
                return noDay(server, why);
            if (local && local->dayIndex >= 0 && local->dayIndex != n)
                m_doc.setMemo(local->dayIndex, QByteArray());
            m_doc.setMemo(n, storedText(mergedText(server, base)));
            return true;
        }
        case CalendarEvent::Kind::RedDay: {
            const QDate day =
                server.yearly ? QDate(m_year, server.start.month(), server.start.day()) : server.start;
            const int n = dayIndex(day);
            if (n < 0)
                return noDay(server, why);
            if (local && local->dayIndex >= 0 && local->dayIndex != n)
                m_doc.setRedDay(local->dayIndex, RedDayRecord{}, QByteArray());
            RedDayRecord record = m_doc.data().m_redDays.at(n);
            record.m_bEveryYear = server.yearly ? 1 : 0;
            record.m_stDate = Calendar::makeDate(m_year, day.month(), day.day());
            m_doc.setRedDay(n, record, storedText(mergedText(server, base)));
            return true;
        }
        case CalendarEvent::Kind::Alarm: {
            int n = local ? local->dayIndex : -1;
            const int moved = dayIndex(server.start);
            if (moved < 0)
                return noDay(server, why);
            if (n >= 0 && n != moved) {
                AlarmRecord off = m_doc.data().m_alarms.at(n);
                off.m_bOn = 0;
                m_doc.setAlarm(n, off, QByteArray());
            }
            n = moved;
            AlarmRecord a = m_doc.data().m_alarms.at(n);
            a.m_bOn = server.alarmOn ? 1 : 0;
            a.m_bFired = 0;
            a.m_stWhen = momentOf(server.start, server.startTime);
            const QString text = mergedText(server, base);
            m_doc.setAlarm(n, a,
                           storedText(text == QLatin1String("Alarm") && base && base->description.isEmpty()
                                          ? QString()
                                          : text));
            return true;
        }
        case CalendarEvent::Kind::Project:
            return applyProject(server, local, base, why);
        }
        return false;
    }

    // The item is gone on the server: a memo or red day goes, an alarm is turned off, a project removed
    // (once every other edit is in, since removing moves the projects after it).
    void remove(const CalendarEvent& local)
    {
        switch (local.kind) {
        case CalendarEvent::Kind::Memo:
            m_doc.setMemo(local.dayIndex, QByteArray());
            break;
        case CalendarEvent::Kind::RedDay:
            m_doc.setRedDay(local.dayIndex, RedDayRecord{}, QByteArray());
            break;
        case CalendarEvent::Kind::Alarm: {
            AlarmRecord a = m_doc.data().m_alarms.at(local.dayIndex);
            a.m_bOn = 0;
            m_doc.setAlarm(local.dayIndex, a, m_doc.data().m_alarmTexts.at(local.dayIndex));
            break;
        }
        case CalendarEvent::Kind::Project:
            m_removedProjects << local.position;
            break;
        }
    }

    void finish()
    {
        std::sort(m_removedProjects.begin(), m_removedProjects.end(), std::greater<>());
        for (qsizetype p : m_removedProjects)
            if (p >= 0 && p < m_doc.data().m_projects.count())
                m_doc.removeProject(p);
        m_removedProjects.clear();
    }

private:
    int dayIndex(const QDate& d) const
    {
        if (!d.isValid() || d.year() != m_year)
            return -1;
        const int n = Calendar::dayOfYear(d.year(), d.month(), d.day());
        return m_doc.holdsDay(n) ? n : -1;
    }

    static bool noDay(const CalendarEvent& e, QString& why)
    {
        why = QStringLiteral("its day %1 is not in the year").arg(dateText(e.start));
        return false;
    }

    bool applyProject(const CalendarEvent& server, const CalendarEvent* local, const CalendarEvent* base,
                      QString& why)
    {
        qsizetype p = local ? local->position : -1;
        ProjectRecord record{};
        QByteArray name;
        if (p >= 0 && p < m_doc.data().m_projects.count()) {
            record = m_doc.data().m_projects.at(p);
            name = m_doc.data().m_names.at(p);
        } else {
            p = -1;
            record.m_bLongLine = 1;
        }
        // Only what the other client changed: a field it left as it was keeps its exact stored value
        // (a period that starts at 09:00 stays so while its days are unchanged).
        if (!base || server.summary != base->summary || p < 0)
            name = storedText(server.summary);
        if (!base || server.start != base->start || server.endExclusive != base->endExclusive || p < 0) {
            record.m_stStart = momentOf(server.start, QTime(0, 0));
            record.m_stEnd = momentOf(server.endExclusive.addDays(-1), QTime(23, 59, 59));
        }
        if (server.hasColor && (!base || !base->hasColor || server.color != base->color || p < 0))
            record.m_crColor = server.color;
        if (p < 0)
            p = m_doc.appendProject(record, name);
        else
            m_doc.replaceProject(p, record, name);
        m_lastPosition = p;
        if (!base || server.ticks != base->ticks || !local) {
            if (p >= DayMarkRecord::kMaxProjects) {
                if (!server.ticks.isEmpty())
                    why = QStringLiteral("project %1 is beyond the 100 that can be ticked").arg(p + 1);
            } else {
                const QSet<QDate> ticks(server.ticks.begin(), server.ticks.end());
                const int days = Calendar::isLeapYear(m_year) ? 366 : 365;
                for (int n = 1; n <= days; ++n) {
                    if (!m_doc.holdsDay(n))
                        continue;
                    int y, m, d;
                    Calendar::dateFromDayNumber(Calendar::dayNumber(m_year, 1, 1) + n - 1, y, m, d);
                    const bool marked = ticks.contains(QDate(y, m, d));
                    if ((m_doc.data().m_dayMarks.at(n).m_bChecked[p] != 0) != marked)
                        m_doc.setMarked(n, p, marked);
                }
            }
        }
        return true;
    }

public:
    qsizetype lastPosition() const { return m_lastPosition; }

private:
    YearDocument& m_doc;
    int m_year;
    QList<qsizetype> m_removedProjects;
    qsizetype m_lastPosition = -1;
};

} // namespace

CalDavSync::CalDavSync(QTextStream& out, QTextStream& err)
    : m_out(out), m_err(err), m_timeoutMs(CalDavClient::kDefaultTimeoutMs)
{
}

int CalDavSync::fail(const QString& message)
{
    m_out.flush();
    m_err << QStringLiteral("tolva-cli: ") << message << '\n';
    m_err.flush();
    return 1;
}

int CalDavSync::usage(const QString& message, const char* command)
{
    m_err
        << QStringLiteral("tolva-cli: %1 (see 'tolva-cli %2 --help')\n").arg(message, QLatin1String(command));
    m_err.flush();
    return 2;
}

namespace {

// What every command does first: the account, its trust, the folder's lock.
struct Session
{
    Options o;
    CalDavAccount account;
    QUrl collection;
    QString shownUrl;
    std::unique_ptr<YearReader> reader;
    std::unique_ptr<DataFolderLock> lock;
    std::unique_ptr<CalDavClient> client;
    QString statePath;
};

// False with `error`; `nothing` says what was not done ("published", "imported", "synced").
bool openSession(Session& s, QString& error, const QString& nothing, int timeoutMs, QTextStream* log)
{
    if (!CalDavAccount::checkUrl(s.o.url, s.o.insecureHttp, error) ||
        !s.account.resolve(s.o.url, s.o.user, error))
        return false;
    s.collection = CalDavClient::collectionUrl(s.o.url);
    s.shownUrl = s.collection.toDisplayString();
    const QString key = accountKey(s.collection, s.account.user());
    if (s.o.caFileGiven) {
        if (!rememberCaFile(key, s.o.caFile, error))
            return false;
    } else {
        s.o.caFile = readAccounts().value(key).toObject().value(QStringLiteral("caFile")).toString();
    }
    s.client = std::make_unique<CalDavClient>(s.account.authorization());
    s.client->setTimeout(timeoutMs);
    s.client->setConnections(s.o.connections);
    if (log)
        s.client->setLog(log);
    if (!s.client->trust(s.o.caFile, error)) {
        error += QStringLiteral(". Nothing was %1.").arg(nothing);
        return false;
    }

    s.reader = std::make_unique<YearReader>(s.o.dir);
    s.lock = std::make_unique<DataFolderLock>(s.reader->yearsDir());
    switch (s.lock->tryLock()) {
    case DataFolderLock::Status::Locked:
        break;
    case DataFolderLock::Status::InUse:
        error = QStringLiteral("a planner is working on %1%2; close it first. Nothing was %3.")
                    .arg(QDir::toNativeSeparators(s.reader->yearsDir()),
                         s.lock->holderPid() > 0 ? QStringLiteral(" (process %1)").arg(s.lock->holderPid())
                                                 : QString(),
                         nothing);
        return false;
    case DataFolderLock::Status::Failed:
    case DataFolderLock::Status::Unlocked:
        error = QStringLiteral("%1 Nothing was %2.").arg(s.lock->message(), nothing);
        return false;
    }
    s.statePath = QDir(s.reader->yearsDir()).filePath(PublishState::fileName(s.o.year));
    return true;
}

} // namespace

int CalDavSync::publish(const QStringList& args)
{
    Session session;
    QString error;
    if (!parseOptions(args, Command::Publish, session.o, error))
        return usage(error, "publish");
    if (!openSession(session, error, QStringLiteral("published"), m_timeoutMs,
                     session.o.verbose ? &m_err : nullptr))
        return fail(error);
    const Options& o = session.o;
    YearReader& reader = *session.reader;
    CalDavClient& client = *session.client;
    const QUrl& collection = session.collection;
    const QString& shownUrl = session.shownUrl;
    const QString& statePath = session.statePath;

    if (!reader.read(o.year))
        return fail(QStringLiteral("%1: %2. Nothing was published; see tolva-cli check.")
                        .arg(QDir::toNativeSeparators(reader.problem().path), reader.problem().reason));
    PublishState state;
    if (!state.load(statePath, error))
        return fail(QStringLiteral("%1: %2. Nothing was published; remove the file to publish afresh.")
                        .arg(QDir::toNativeSeparators(statePath), error));
    const QByteArray stateBefore = state.toJson();
    // Foreign events a sync saw are not ours to publish or remove; they stay in the record as they are.
    QList<SyncPlan::Known> known, foreign;
    for (const SyncPlan::Known& k : state.events(shownUrl))
        (k.foreign ? foreign : known) << k;

    QStringList notes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const Outgoing outgoing = prepare(reader.year(), known, now, notes);
    const QString base = collection.path(QUrl::FullyDecoded);
    // The red days a foreign event gave over several days, as it gave them, are that object's: sent as
    // ours they would stand twice on the phone. One changed here since is ours, as sync has it.
    QHash<QString, QByteArray> foreignDays;
    for (const SyncPlan::Known& k : foreign)
        for (auto it = k.days.cbegin(); it != k.days.cend(); ++it)
            foreignDays.insert(it.key(), it.value());
    QList<SyncPlan::Local> locals;
    for (qsizetype i = 0; i < outgoing.events.size(); ++i) {
        const CalendarEvent& e = outgoing.events.at(i);
        if (e.kind == CalendarEvent::Kind::RedDay && !foreignDays.isEmpty()) {
            const auto held = foreignDays.constFind(YearItems::dayKey(e));
            if (held != foreignDays.cend() && held.value() == redDayHash(e))
                continue;
        }
        locals << SyncPlan::Local{e.uid, base + e.uid + QStringLiteral(".ics"),
                                  contentHash(outgoing.contents.at(i))};
    }

    QList<MultiStatus::Response> members;
    if (!client.list(collection, members, error))
        return fail(error + QStringLiteral(". Nothing was published."));
    for (const QString& note : notes)
        m_out << QStringLiteral("note      ") << note << '\n';
    QList<SyncPlan::Remote> remote;
    for (const MultiStatus::Response& m : members)
        remote << SyncPlan::Remote{CalDavClient::normalHref(collection, m.href), m.etag, {}};

    QList<SyncPlan::Step> steps = SyncPlan::plan(locals, known, remote, false);
    // An object in our way may already be what we would put there (another year shares the calendar, or
    // a run was cut short after its PUT): its content decides, fetched in one request.
    QStringList contested;
    for (const SyncPlan::Step& s : steps)
        if (s.action == SyncPlan::Action::Conflict && s.reason != SyncPlan::Reason::DeletedOnServer)
            contested << s.href;
    if (!contested.isEmpty()) {
        QList<MultiStatus::Response> fetched;
        if (!client.multiget(collection, contested, fetched, error))
            return fail(error + QStringLiteral(". Nothing was published."));
        QHash<QString, QByteArray> hashOf;
        for (const MultiStatus::Response& f : fetched) {
            QList<CalendarEvent> parsed;
            QString why;
            if (ICalendarFile::readEvents(f.calendarData, parsed, why) && parsed.size() == 1)
                hashOf.insert(CalDavClient::normalHref(collection, f.href),
                              contentHash(ICalendarFile::canonical(parsed.constFirst())));
        }
        for (SyncPlan::Remote& r : remote)
            r.hash = hashOf.value(r.href);
    }
    steps = SyncPlan::plan(locals, known, remote, o.force);

    QList<CalDavClient::Request> requests;
    QList<qsizetype> stepOfRequest;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const SyncPlan::Step& s = steps.at(i);
        const qsizetype e = outgoing.byUid.value(s.uid, -1);
        switch (s.action) {
        case SyncPlan::Action::Create:
            requests << putRequest(collection, s.href, wireText(outgoing.events.at(e), now, notes),
                                   QString());
            break;
        case SyncPlan::Action::Update:
            requests << putRequest(collection, s.href, wireText(outgoing.events.at(e), now, notes),
                                   s.ifMatch);
            break;
        case SyncPlan::Action::Delete:
            requests << deleteRequest(collection, s.href, s.ifMatch);
            break;
        default:
            continue;
        }
        stepOfRequest << i;
    }
    const QList<CalDavClient::Reply> replies = client.send(requests);

    // The new state: what the server holds of ours after the replies.
    QHash<QString, SyncPlan::Known> next;
    for (const SyncPlan::Known& k : known + foreign)
        next.insert(k.uid, k);
    QHash<qsizetype, qsizetype> requestOfStep;
    for (qsizetype r = 0; r < stepOfRequest.size(); ++r)
        requestOfStep.insert(stepOfRequest.at(r), r);

    int added = 0, changed = 0, removed = 0, conflicts = 0;
    QStringList failures;
    bool missingEtags = false;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const SyncPlan::Step& s = steps.at(i);
        const qsizetype e = outgoing.byUid.value(s.uid, -1);
        const CalendarEvent* event = e >= 0 ? &outgoing.events.at(e) : nullptr;
        const QString what = event ? QStringLiteral("%1 (%2)").arg(s.uid, event->summary) : s.uid;
        if (s.action == SyncPlan::Action::Conflict) {
            ++conflicts;
            m_out << QStringLiteral("conflict  %1: %2; left alone (--force replaces it)\n")
                         .arg(what, conflictText(s.reason));
            continue;
        }
        if (s.action == SyncPlan::Action::Forget) {
            next.remove(s.uid);
            continue;
        }
        if (s.action == SyncPlan::Action::Untouched) {
            // Recorded with its content, and the server's ETag where it stood in our way with the same.
            if (event)
                next.insert(s.uid, knownFrom(*event, s.href,
                                             s.ifMatch.isEmpty() ? next.value(s.uid).etag : s.ifMatch,
                                             outgoing.contents.at(e)));
            continue;
        }
        if (!requestOfStep.contains(i))
            continue;
        const qsizetype r = requestOfStep.value(i);
        const CalDavClient::Reply& reply = replies.at(r);
        const bool gone =
            s.action == SyncPlan::Action::Delete && (reply.status == 404 || reply.status == 410);
        if (!reply.ok() && !gone) {
            failures << client.describeFailure(requests.at(r), reply);
            m_out << QStringLiteral("failed    %1: %2\n").arg(what, failures.constLast());
            continue;
        }
        const QString forced =
            s.forced ? QStringLiteral(" (forced: %1)").arg(conflictText(s.reason)) : QString();
        switch (s.action) {
        case SyncPlan::Action::Delete:
            next.remove(s.uid);
            ++removed;
            m_out << QStringLiteral("removed   %1%2\n").arg(s.uid, forced);
            break;
        case SyncPlan::Action::Create:
        case SyncPlan::Action::Update: {
            next.insert(s.uid,
                        knownFrom(*event, s.href, QString::fromUtf8(reply.etag), outgoing.contents.at(e)));
            missingEtags = missingEtags || reply.etag.isEmpty();
            if (s.action == SyncPlan::Action::Create && !s.forced) {
                ++added;
                m_out << QStringLiteral("added     %1\n").arg(what);
            } else {
                ++changed;
                m_out << QStringLiteral("changed   %1%2\n").arg(what, forced);
            }
            break;
        }
        default:
            break;
        }
    }

    if (missingEtags)
        fillMissingEtags(client, collection, next);

    state.setEvents(shownUrl, next.values());
    if (state.toJson() != stateBefore && !state.save(statePath, error))
        return fail(QStringLiteral("%1: %2. The server was changed, but this record of it could not be "
                                   "kept; the next publish will report the changed events as conflicts.")
                        .arg(QDir::toNativeSeparators(statePath), error));

    m_out << QStringLiteral("%1 added, %2 changed, %3 removed").arg(added).arg(changed).arg(removed);
    if (conflicts > 0)
        m_out << QStringLiteral(", %1 left alone").arg(conflicts);
    m_out << '\n';
    m_out.flush();
    if (!failures.isEmpty())
        return fail(failures.size() == 1 ? failures.constFirst()
                                         : QStringLiteral("%1 (and %2 more requests failed)")
                                               .arg(failures.constFirst())
                                               .arg(failures.size() - 1));
    if (conflicts > 0)
        return fail(QStringLiteral("%1: %2 of our events changed on the server were left alone; --force "
                                   "replaces them")
                        .arg(shownUrl)
                        .arg(conflicts));
    return 0;
}

int CalDavSync::sync(const QStringList& args)
{
    return twoWay(args, true);
}

int CalDavSync::pull(const QStringList& args)
{
    return twoWay(args, false);
}

namespace {

struct Tally
{
    int added = 0, changed = 0, removed = 0; // on the server
    int takenIn = 0, removedHere = 0, redDays = 0;
    int conflicts = 0, left = 0;
    QStringList failures;
    bool yearChanged = false;
};

const char* kindWord(CalendarEvent::Kind kind)
{
    switch (kind) {
    case CalendarEvent::Kind::Project:
        return "project";
    case CalendarEvent::Kind::Memo:
        return "memo";
    case CalendarEvent::Kind::Alarm:
        return "alarm";
    case CalendarEvent::Kind::RedDay:
        break;
    }
    return "red day";
}

// The year file before a sync changes it, one copy that each such sync replaces: what another client
// did to the year can always be undone by hand.
bool keepYearCopy(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(DataStore::kMaxFileSize + 1);
    const StoreResult r = DurableFile::write(path + QStringLiteral(".before-sync"), bytes);
    if (!r.ok())
        error = r.reason.isEmpty() ? r.message : r.reason;
    return r.ok();
}

} // namespace

int CalDavSync::twoWay(const QStringList& args, bool outgoing)
{
    const char* command = outgoing ? "sync" : "pull";
    Session session;
    QString error;
    if (!parseOptions(args, outgoing ? Command::Sync : Command::Pull, session.o, error))
        return usage(error, command);
    const QString nothing = outgoing ? QStringLiteral("synced") : QStringLiteral("imported");
    if (!openSession(session, error, nothing, m_timeoutMs, session.o.verbose ? &m_err : nullptr))
        return fail(error);
    const Options& o = session.o;
    YearReader& reader = *session.reader;
    CalDavClient& client = *session.client;
    const QUrl& collection = session.collection;
    const QString base = collection.path(QUrl::FullyDecoded);
    const SyncDecision::Prefer prefer =
        o.preferServer ? SyncDecision::Prefer::Server : SyncDecision::Prefer::Planner;

    PublishState state;
    if (!state.load(session.statePath, error))
        return fail(QStringLiteral("%1: %2. Nothing was %3; remove the file to start afresh.")
                        .arg(QDir::toNativeSeparators(session.statePath), error, nothing));

    Tally tally;
    QSet<QString> listed; // items reported in an earlier round
    // A round that took something in runs once more: the year's own rendering of what came in (a summary
    // cut, a description added) goes back out, so both sides end equal.
    for (int round = 0; round < 2; ++round) {
        if (!reader.read(o.year))
            return fail(
                QStringLiteral("%1: %2. Nothing was %3; see tolva-cli check.")
                    .arg(QDir::toNativeSeparators(reader.problem().path), reader.problem().reason, nothing));
        const QByteArray stateBefore = state.toJson();
        const QList<SyncPlan::Known> known = state.events(session.shownUrl);
        QHash<QString, const SyncPlan::Known*> knownByHref, knownByUid;
        for (const SyncPlan::Known& k : known) {
            knownByHref.insert(k.href, &k);
            knownByUid.insert(k.uid, &k);
        }
        QStringList notes;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const Outgoing out = prepare(reader.year(), known, now, notes);

        QList<MultiStatus::Response> members;
        if (!client.list(collection, members, error))
            return fail(error + QStringLiteral(". Nothing was %1.").arg(nothing));
        if (round == 0)
            for (const QString& note : notes)
                m_out << QStringLiteral("note      ") << note << '\n';

        QList<SyncDecision::Remote> remotes;
        QHash<QString, qsizetype> remoteAt;
        QStringList wanted;
        for (const MultiStatus::Response& m : members) {
            SyncDecision::Remote r;
            r.href = CalDavClient::normalHref(collection, m.href);
            r.etag = m.etag;
            const SyncPlan::Known* k = knownByHref.value(r.href);
            if (!k || k->etag != r.etag)
                wanted << r.href;
            remoteAt.insert(r.href, remotes.size());
            remotes << r;
        }
        QList<MultiStatus::Response> fetched;
        if (!client.multiget(collection, wanted, fetched, error))
            return fail(error + QStringLiteral(". Nothing was %1.").arg(nothing));
        QList<CalendarEvent> serverEvents(remotes.size());
        QHash<qsizetype, QByteArray> serverData;
        for (const MultiStatus::Response& f : fetched) {
            const qsizetype i = remoteAt.value(CalDavClient::normalHref(collection, f.href), -1);
            if (i < 0)
                continue;
            SyncDecision::Remote& r = remotes[i];
            QList<CalendarEvent> parsed;
            QString why;
            QStringList warnings;
            r.fetched = true;
            if (!f.etag.isEmpty())
                r.etag = f.etag;
            if (!ICalendarFile::readEvents(f.calendarData, parsed, why, &warnings) || parsed.isEmpty()) {
                r.uid = r.href;
                continue;
            }
            for (const QString& w : warnings)
                m_err << QStringLiteral("tolva-cli: %1: %2\n").arg(r.href, w);
            const CalendarEvent& e = parsed.constFirst();
            r.uid = e.uid;
            r.ours = e.ours;
            // A foreign event the last sync adopted as a red day is read as one.
            const SyncPlan::Known* k = knownByHref.value(r.href);
            CalendarEvent event = e;
            if (!e.ours && k && !k->foreign) {
                CalendarEvent baseEvent;
                if (YearItems::baseEvent(*k, baseEvent))
                    event.kind = baseEvent.kind;
            }
            r.holdable =
                e.ours || (k && !k->foreign) ? holdsEvent(event, o.year) : !e.timed && e.start.isValid();
            r.content = ICalendarFile::canonical(event);
            serverEvents[i] = event;
            serverData.insert(i, f.calendarData);
        }

        QList<SyncDecision::Local> locals;
        QHash<QString, qsizetype> localByKey;
        for (qsizetype i = 0; i < out.events.size(); ++i) {
            const CalendarEvent& e = out.events.at(i);
            SyncDecision::Local l{e.uid, base + e.uid + QStringLiteral(".ics"), out.contents.at(i), {}, {}};
            if (e.kind == CalendarEvent::Kind::RedDay) {
                l.key = YearItems::dayKey(e);
                l.dayHash = redDayHash(e);
                localByKey.insert(l.key, i);
            }
            locals << l;
        }
        const QList<SyncDecision::Step> steps =
            SyncDecision::decide(locals, known, remotes, prefer, outgoing);

        // Out first: requests in parallel.
        QList<CalDavClient::Request> requests;
        QHash<qsizetype, qsizetype> requestOfStep;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const SyncDecision::Step& s = steps.at(i);
            if (s.toServer == SyncDecision::ToServer::None)
                continue;
            requestOfStep.insert(i, requests.size());
            if (s.toServer == SyncDecision::ToServer::Delete)
                requests << deleteRequest(collection, s.href, s.ifMatch);
            else
                requests << putRequest(collection, s.href, wireText(out.events.at(s.local), now, notes),
                                       s.toServer == SyncDecision::ToServer::Create ? QString() : s.ifMatch);
        }
        const QList<CalDavClient::Reply> replies = client.send(requests);

        QHash<QString, SyncPlan::Known> next;
        for (const SyncPlan::Known& k : known)
            next.insert(k.uid, k);
        struct Adoption
        {
            SyncPlan::Known known;
            QString dayKey;
        };
        QList<Adoption> adoptions;
        // Foreign events over several days: UID -> the day keys of the red days they gave.
        QHash<QString, QStringList> groups;
        bool missingEtags = false;

        // Then in: every edit through the year's one document, saved once.
        bool anyHere = false;
        for (const SyncDecision::Step& s : steps)
            anyHere = anyHere || s.here != SyncDecision::Here::None;
        QList<StoreResult> problems;
        if (anyHere) {
            DataStore store;
            const StoreResult captured = store.CaptureWorkDir(o.dir);
            DisplaySettings defaults{};
            const StoreResult defaultsResult = captured.ok() ? store.loadDefaults(defaults) : captured;
            if (!defaultsResult.ok())
                return fail(QStringLiteral("%1 Nothing was taken in.").arg(defaultsResult.message));
            if (!keepYearCopy(store.yearPath(o.year), error))
                return fail(QStringLiteral("no copy of the year could be kept (%1). Nothing was taken in.")
                                .arg(error));
            YearRegistry registry(store, defaults);
            QObject::connect(&registry, &YearRegistry::problem, [&](const StoreResult& r) { problems << r; });
            std::shared_ptr<YearDocument> document = registry.open(o.year);
            DisplaySettings settings = document->data().m_settings;
            settings.m_stSelected = reader.storedSelection();
            document->setViewSettings(settings);
            YearEdits edits(*document, o.year);
            QList<ImportedHoliday> holidays;
            QList<qsizetype> holidayStep;
            for (qsizetype i = 0; i < steps.size(); ++i) {
                const SyncDecision::Step& s = steps.at(i);
                const CalendarEvent* local = s.local >= 0 ? &out.events.at(s.local) : nullptr;
                // A foreign event's red days go with it; a changed one is given again below.
                for (const QString& key : s.dropDays) {
                    const qsizetype l = localByKey.value(key, -1);
                    if (l < 0)
                        continue;
                    const CalendarEvent& day = out.events.at(l);
                    edits.remove(day);
                    tally.yearChanged = true;
                    if (s.here == SyncDecision::Here::Remove) {
                        ++tally.removedHere;
                        m_out << QStringLiteral(
                                     "removed   red day %1 (%2) here: %3 was deleted on the server\n")
                                     .arg(day.yearly ? day.start.toString(QStringLiteral("MM-dd")) +
                                                           QStringLiteral(" every year")
                                                     : dateText(day.start),
                                          day.summary, s.uid);
                    }
                }
                CalendarEvent baseEvent;
                const SyncPlan::Known* k = knownByUid.value(s.uid);
                const bool hasBase = k && YearItems::baseEvent(*k, baseEvent);
                QString why;
                switch (s.here) {
                case SyncDecision::Here::None:
                    break;
                case SyncDecision::Here::Apply: {
                    const CalendarEvent& server = serverEvents.at(s.remote);
                    if (!edits.apply(server, local, hasBase ? &baseEvent : nullptr, why)) {
                        m_out << QStringLiteral("left      %1 (%2): %3\n").arg(s.uid, server.summary, why);
                        ++tally.left;
                        break;
                    }
                    if (!why.isEmpty())
                        m_out << QStringLiteral("note      %1: %2\n").arg(s.uid, why);
                    SyncPlan::Known n =
                        knownFrom(server, s.href, remotes.at(s.remote).etag, remotes.at(s.remote).content);
                    if (server.kind == CalendarEvent::Kind::Project)
                        n.position = int(edits.lastPosition());
                    next.insert(s.uid, n);
                    ++tally.takenIn;
                    tally.yearChanged = true;
                    if (!s.conflict)
                        m_out << QStringLiteral("took in   %1 %2 (%3)\n")
                                     .arg(QLatin1String(kindWord(server.kind)), s.uid, server.summary);
                    break;
                }
                case SyncDecision::Here::Remove:
                    if (local) {
                        edits.remove(*local);
                        ++tally.removedHere;
                        tally.yearChanged = true;
                        if (!s.conflict)
                            m_out << QStringLiteral("removed   %1 %2 (%3) here\n")
                                         .arg(QLatin1String(kindWord(local->kind)), s.uid, local->summary);
                    }
                    next.remove(s.uid);
                    break;
                case SyncDecision::Here::Import: {
                    QList<ImportedHoliday> found;
                    QStringList skipped;
                    QString reason;
                    if (ICalendarFile::readHolidays(serverData.value(s.remote), o.year, found, skipped,
                                                    reason)) {
                        for (const ImportedHoliday& h : found) {
                            holidays << h;
                            holidayStep << i;
                        }
                    }
                    for (const QString& line : skipped) {
                        m_out << QStringLiteral("left      %1\n").arg(line);
                        ++tally.left;
                    }
                    SyncPlan::Known n;
                    n.uid = s.uid;
                    n.href = s.href;
                    n.etag = remotes.at(s.remote).etag;
                    n.foreign = true;
                    next.insert(s.uid, n);
                    break;
                }
                }
            }
            edits.finish();
            const QList<HolidayImport::Decision> decisions =
                HolidayImport::plan(document->data(), holidays, o.replace);
            QHash<qsizetype, int> daysOfStep;
            for (qsizetype h = 0; h < holidays.size(); ++h)
                ++daysOfStep[holidayStep.at(h)];
            for (qsizetype h = 0; h < decisions.size() && h < holidays.size(); ++h) {
                const HolidayImport::Decision& d = decisions.at(h);
                const SyncDecision::Step& s = steps.at(holidayStep.at(h));
                const QString day = d.holiday.everyYear
                                        ? QStringLiteral("%1-%2 every year")
                                              .arg(d.holiday.month, 2, 10, QLatin1Char('0'))
                                              .arg(d.holiday.day, 2, 10, QLatin1Char('0'))
                                        : dateText(QDate(o.year, d.holiday.month, d.holiday.day));
                if (d.action == HolidayImport::Action::Add || d.action == HolidayImport::Action::Replace) {
                    RedDayRecord record = document->data().m_redDays.at(d.dayIndex);
                    record.m_bEveryYear = d.holiday.everyYear ? 1 : 0;
                    record.m_stDate = Calendar::makeDate(o.year, d.holiday.month, d.holiday.day);
                    document->setRedDay(d.dayIndex, record, TextCodec::encode(d.holiday.text));
                    m_out << QStringLiteral("red day   %1 %2 (from %3)\n").arg(day, d.holiday.text, s.uid);
                    ++tally.redDays;
                    tally.yearChanged = true;
                } else if (d.action == HolidayImport::Action::Keep) {
                    m_out << QStringLiteral("skipped   %1 %2: the day is already the red day \"%3\" "
                                            "(--replace replaces it)\n")
                                 .arg(day, d.holiday.text, d.existing);
                }
                // An event that gives several days keeps them: they are its, not events of ours.
                if (daysOfStep.value(holidayStep.at(h)) > 1 && d.action == HolidayImport::Action::Add) {
                    CalendarEvent key;
                    key.kind = CalendarEvent::Kind::RedDay;
                    key.yearly = d.holiday.everyYear;
                    key.start = d.holiday.everyYear
                                    ? QDate(CalendarExport::kEveryYearStart, d.holiday.month, d.holiday.day)
                                    : QDate(o.year, d.holiday.month, d.holiday.day);
                    groups[s.uid] << YearItems::dayKey(key);
                }
                // An event that gives one day is that red day's own object from now on: the planner's
                // version replaces it when the red day changes, instead of a second event beside it.
                if (outgoing && daysOfStep.value(holidayStep.at(h)) == 1 &&
                    (d.action == HolidayImport::Action::Add || d.action == HolidayImport::Action::Replace ||
                     d.action == HolidayImport::Action::Same)) {
                    CalendarEvent key;
                    key.kind = CalendarEvent::Kind::RedDay;
                    key.yearly = d.holiday.everyYear;
                    key.start = d.holiday.everyYear
                                    ? QDate(CalendarExport::kEveryYearStart, d.holiday.month, d.holiday.day)
                                    : QDate(o.year, d.holiday.month, d.holiday.day);
                    Adoption a;
                    a.known = next.value(s.uid);
                    a.known.foreign = false;
                    a.dayKey = YearItems::dayKey(key);
                    adoptions << a;
                }
            }
            // Letting go of the document saves the year and the every-year red days.
        }
        for (const StoreResult& p : problems)
            return fail(QStringLiteral("%1 The server was not changed by what failed here.").arg(p.message));

        if ((!adoptions.isEmpty() || !groups.isEmpty()) && reader.read(o.year)) {
            QStringList ignored;
            const QList<CalendarEvent> now = CalendarExport::events(reader.year(), ignored);
            QHash<QString, QByteArray> hashOfDay;
            for (const CalendarEvent& e : now)
                if (e.kind == CalendarEvent::Kind::RedDay)
                    hashOfDay.insert(YearItems::dayKey(e), redDayHash(e));
            for (auto g = groups.cbegin(); g != groups.cend(); ++g) {
                if (!next.contains(g.key()))
                    continue;
                SyncPlan::Known& k = next[g.key()];
                for (const QString& key : g.value())
                    if (hashOfDay.contains(key))
                        k.days.insert(key, hashOfDay.value(key));
            }
            for (Adoption& a : adoptions) {
                for (CalendarEvent e : now) {
                    if (e.kind != CalendarEvent::Kind::RedDay || YearItems::dayKey(e) != a.dayKey)
                        continue;
                    e.uid = a.known.uid;
                    a.known.content = ICalendarFile::canonical(e);
                    a.known.key = YearItems::keyOf(e);
                    a.known.hash = contentHash(a.known.content);
                    next.insert(a.known.uid, a.known);
                }
            }
        }

        for (qsizetype i = 0; i < steps.size(); ++i) {
            const SyncDecision::Step& s = steps.at(i);
            const CalendarEvent* local = s.local >= 0 ? &out.events.at(s.local) : nullptr;
            const CalendarEvent* server =
                s.remote >= 0 && remotes.at(s.remote).fetched ? &serverEvents.at(s.remote) : nullptr;
            CalendarEvent lastSeen;
            const SyncPlan::Known* k = knownByUid.value(s.uid);
            const bool seen = !local && !server && k && YearItems::baseEvent(*k, lastSeen);
            const QString what = QStringLiteral("%1 (%2)").arg(s.uid, local    ? local->summary
                                                                      : server ? server->summary
                                                                      : seen   ? lastSeen.summary
                                                                               : QString());
            if (s.conflict) {
                ++tally.conflicts;
                const bool planner = prefer == SyncDecision::Prefer::Planner;
                m_out << QStringLiteral("conflict  %1: the planner has %2, the server %3; kept the %4\n")
                             .arg(what, valueText(local), valueText(server),
                                  planner ? QStringLiteral("planner's (--prefer server takes the server's)")
                                          : QStringLiteral("server's"));
            }
            if (s.reason == SyncDecision::Reason::Unholdable && s.here == SyncDecision::Here::None &&
                s.base == SyncDecision::Base::Foreign) {
                SyncPlan::Known n;
                n.uid = s.uid;
                n.href = s.href;
                n.etag = remotes.at(s.remote).etag;
                n.foreign = true;
                n.days = s.keepDays;
                next.insert(s.uid, n);
                if (server && !server->ours && !listed.contains(s.uid)) {
                    listed.insert(s.uid);
                    ++tally.left;
                    m_out << QStringLiteral("left      %1 on the server: %2\n")
                                 .arg(what, server->timed
                                                ? QStringLiteral("a timed event, which the year cannot hold")
                                                : QStringLiteral("the year cannot hold it"));
                }
                continue;
            }
            if (s.here == SyncDecision::Here::None && s.toServer == SyncDecision::ToServer::None) {
                if (s.base == SyncDecision::Base::Keep && next.contains(s.uid) && next.value(s.uid).foreign)
                    next[s.uid].days = s.keepDays; // the days changed or removed here are no longer its
                if (s.base == SyncDecision::Base::Remote && s.remote >= 0)
                    next.insert(s.uid, knownFrom(local ? *local : *server, s.href, remotes.at(s.remote).etag,
                                                 remotes.at(s.remote).content));
                else if (s.base == SyncDecision::Base::Drop)
                    next.remove(s.uid);
                else if (s.base == SyncDecision::Base::Foreign && s.remote >= 0 && !next.contains(s.uid)) {
                    SyncPlan::Known n;
                    n.uid = s.uid;
                    n.href = s.href;
                    n.etag = remotes.at(s.remote).etag;
                    n.foreign = true;
                    next.insert(s.uid, n);
                } else if (local && s.base == SyncDecision::Base::Keep && knownByUid.contains(s.uid) &&
                           outgoing) {
                    // Unchanged: the record keeps its content; a revision from an older state is filled in.
                    next.insert(s.uid, knownFrom(*local, s.href, knownByUid.value(s.uid)->etag,
                                                 out.contents.at(s.local)));
                }
                continue;
            }
            if (!requestOfStep.contains(i))
                continue;
            const qsizetype r = requestOfStep.value(i);
            const CalDavClient::Reply& reply = replies.at(r);
            const bool gone =
                s.toServer == SyncDecision::ToServer::Delete && (reply.status == 404 || reply.status == 410);
            if (!reply.ok() && !gone) {
                // The record stays as it was: the next run decides the item again.
                tally.failures << client.describeFailure(requests.at(r), reply);
                m_out << QStringLiteral("failed    %1: %2\n").arg(what, tally.failures.constLast());
                continue;
            }
            switch (s.toServer) {
            case SyncDecision::ToServer::Delete:
                next.remove(s.uid);
                ++tally.removed;
                if (!s.conflict)
                    m_out << QStringLiteral("removed   %1\n").arg(what);
                break;
            case SyncDecision::ToServer::Create:
            case SyncDecision::ToServer::Update:
                next.insert(s.uid, knownFrom(*local, s.href, QString::fromUtf8(reply.etag),
                                             out.contents.at(s.local)));
                missingEtags = missingEtags || reply.etag.isEmpty();
                if (s.toServer == SyncDecision::ToServer::Create && !s.conflict) {
                    ++tally.added;
                    m_out << QStringLiteral("added     %1\n").arg(what);
                } else {
                    ++tally.changed;
                    if (!s.conflict)
                        m_out << QStringLiteral("changed   %1\n").arg(what);
                }
                break;
            case SyncDecision::ToServer::None:
                break;
            }
        }
        if (missingEtags)
            fillMissingEtags(client, collection, next);

        state.setEvents(session.shownUrl, next.values());
        if (state.toJson() != stateBefore && !state.save(session.statePath, error))
            return fail(
                QStringLiteral("%1: %2. The server and the year were changed, but this record of them "
                               "could not be kept; the next sync finds them equal and records them again.")
                    .arg(QDir::toNativeSeparators(session.statePath), error));
        bool again = false;
        for (const SyncDecision::Step& s : steps)
            again = again || s.here == SyncDecision::Here::Apply || s.here == SyncDecision::Here::Import;
        if (!again || !outgoing || !tally.failures.isEmpty())
            break;
    }

    if (outgoing)
        m_out << QStringLiteral("%1 added, %2 changed, %3 removed on the server; ")
                     .arg(tally.added)
                     .arg(tally.changed)
                     .arg(tally.removed);
    m_out << QStringLiteral("%1 taken in, %2 removed, %3 red days added here")
                 .arg(tally.takenIn)
                 .arg(tally.removedHere)
                 .arg(tally.redDays);
    if (tally.conflicts > 0)
        m_out << QStringLiteral("; %1 conflicts").arg(tally.conflicts);
    if (tally.left > 0)
        m_out << QStringLiteral("; %1 left on the server").arg(tally.left);
    m_out << '\n';
    m_out.flush();
    if (!tally.failures.isEmpty())
        return fail(tally.failures.size() == 1 ? tally.failures.constFirst()
                                               : QStringLiteral("%1 (and %2 more requests failed)")
                                                     .arg(tally.failures.constFirst())
                                                     .arg(tally.failures.size() - 1));
    return 0;
}
