#include "SyncText.h"

#include "CalendarExport.h"

namespace SyncText {

QString date(const QDate& d)
{
    return d.toString(Qt::ISODate);
}

QString redDay(const CalendarEvent& e)
{
    return e.yearly ? e.start.toString(QStringLiteral("MM-dd")) + QStringLiteral(" every year")
                    : date(e.start);
}

QString value(const CalendarEvent* e)
{
    if (!e)
        return QStringLiteral("deleted");
    if (e->kind == CalendarEvent::Kind::Project)
        return QStringLiteral("\"%1\" %2 to %3")
            .arg(e->summary, date(e->start), date(e->endExclusive.addDays(-1)));
    const QString text = CalendarExport::summaryOf(e->text());
    if (e->timed)
        return QStringLiteral("\"%1\" at %2 %3%4")
            .arg(text, date(e->start), e->startTime.toString(QStringLiteral("HH:mm:ss")),
                 e->alarmOn ? QString() : QStringLiteral(" (off)"));
    return QStringLiteral("\"%1\" on %2").arg(text, redDay(*e));
}

QString kind(CalendarEvent::Kind kind)
{
    switch (kind) {
    case CalendarEvent::Kind::Project:
        return QStringLiteral("project");
    case CalendarEvent::Kind::Memo:
        return QStringLiteral("memo");
    case CalendarEvent::Kind::Alarm:
        return QStringLiteral("alarm");
    case CalendarEvent::Kind::RedDay:
        break;
    }
    return QStringLiteral("red day");
}

QString item(const QString& uid, const QString& summary)
{
    return QStringLiteral("%1 (%2)").arg(uid, summary);
}

} // namespace SyncText
