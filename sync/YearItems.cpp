#include "YearItems.h"

#include "CalendarExport.h"
#include "ICalendarFile.h"
#include "ProjectIdentity.h"
#include "YearData.h"

#include <QHash>
#include <QSet>
#include <QUuid>

bool YearItems::baseEvent(const SyncPlan::Known& known, CalendarEvent& event)
{
    if (known.content.isEmpty() || known.foreign)
        return false;
    QList<CalendarEvent> parsed;
    QString error;
    if (!ICalendarFile::readEvents(known.content, parsed, error) || parsed.size() != 1)
        return false;
    event = parsed.constFirst();
    return true;
}

QString YearItems::dayKey(const CalendarEvent& e)
{
    switch (e.kind) {
    case CalendarEvent::Kind::Project:
        return QString();
    case CalendarEvent::Kind::Memo:
        return QStringLiteral("memo/") + e.start.toString(Qt::ISODate);
    case CalendarEvent::Kind::Alarm:
        return QStringLiteral("alarm/") + e.start.toString(Qt::ISODate);
    case CalendarEvent::Kind::RedDay:
        break;
    }
    return e.yearly ? QStringLiteral("red/every/") + e.start.toString(QStringLiteral("MM-dd"))
                    : QStringLiteral("red/") + e.start.toString(Qt::ISODate);
}

QString YearItems::keyOf(const CalendarEvent& e)
{
    return e.kind == CalendarEvent::Kind::Project ? QLatin1String(kProjectKey) : dayKey(e);
}

QList<CalendarEvent> YearItems::events(const YearData& year, const QList<SyncPlan::Known>& known,
                                       QStringList& notes)
{
    QList<ProjectIdentity::Known> knownProjects;
    QHash<QString, QString> uidOfDay;
    QSet<QString> used;
    for (const SyncPlan::Known& k : known) {
        if (k.foreign || k.content.isEmpty())
            continue;
        // Day items by the key kept with them; reading a content back costs a parse.
        if (!k.key.isEmpty() && k.key != QLatin1String(kProjectKey)) {
            used.insert(k.uid);
            uidOfDay.insert(k.key, k.uid);
            continue;
        }
        // An entry without content (an older state) has no day to match by: its UID is the export's.
        CalendarEvent base;
        if (!baseEvent(k, base))
            continue;
        used.insert(k.uid);
        if (base.kind == CalendarEvent::Kind::Project)
            knownProjects << ProjectIdentity::Known{k.uid, k.position, base};
        else
            uidOfDay.insert(dayKey(base), k.uid);
    }

    QList<CalendarEvent> events = CalendarExport::events(year, notes);
    QList<ProjectIdentity::Project> projects;
    for (const CalendarEvent& e : events)
        if (e.kind == CalendarEvent::Kind::Project)
            projects << ProjectIdentity::Project{e.position, e};
    const QStringList projectUids = ProjectIdentity::match(projects, knownProjects, year.year());
    qsizetype p = 0;
    for (CalendarEvent& e : events) {
        if (e.kind == CalendarEvent::Kind::Project) {
            e.uid = projectUids.at(p++);
            continue;
        }
        const QString uid = uidOfDay.value(dayKey(e));
        if (!uid.isEmpty()) {
            e.uid = uid;
        } else if (used.contains(e.uid)) {
            // The export's UID went with an item that moved to another day.
            e.uid.insert(e.uid.indexOf(QLatin1Char('@')),
                         QLatin1Char('-') + QUuid::createUuid().toString(QUuid::WithoutBraces));
        }
        used.insert(e.uid);
    }
    return events;
}
