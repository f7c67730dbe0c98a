#include "OutgoingEvents.h"

#include "ICalendarFile.h"
#include "YearItems.h"

#include <QCryptographicHash>
#include <QTimeZone>

OutgoingEvents OutgoingEvents::prepare(const YearData& year, const QList<SyncPlan::Known>& known,
                                       const QDateTime& now, QStringList& notes,
                                       const std::function<void()>& breathe)
{
    QHash<QString, const SyncPlan::Known*> knownByUid;
    for (const SyncPlan::Known& k : known)
        knownByUid.insert(k.uid, &k);
    OutgoingEvents out;
    out.events = YearItems::events(year, known, notes);
    for (qsizetype i = 0; i < out.events.size(); ++i) {
        if (breathe && i % 32 == 31)
            breathe();
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

QByteArray OutgoingEvents::wireText(const CalendarEvent& e, const QDateTime& now, QStringList& notes)
{
    QString zoneNote;
    const QByteArray text = ICalendarFile::write({e}, QTimeZone::systemTimeZoneId(), now, zoneNote);
    if (!zoneNote.isEmpty() && !notes.contains(zoneNote))
        notes << zoneNote;
    return text;
}

SyncPlan::Known OutgoingEvents::knownFrom(const CalendarEvent& e, const QString& href, const QString& etag,
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

QByteArray OutgoingEvents::contentHash(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

QByteArray OutgoingEvents::redDayHash(CalendarEvent e)
{
    e.uid.clear();
    e.sequence = 0;
    e.lastModified = QDateTime();
    return contentHash(ICalendarFile::canonical(e));
}
