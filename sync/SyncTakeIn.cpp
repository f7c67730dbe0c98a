// The incoming half of a sync round: every edit through the year's one document, saved before the record.
#include "SyncEngine.h"

#include "Calendar.h"
#include "CalendarExport.h"
#include "HolidayPlan.h"
#include "SyncRound.h"
#include "SyncSink.h"
#include "SyncText.h"
#include "SyncYear.h"
#include "TextCodec.h"
#include "YearDocument.h"
#include "YearEdits.h"
#include "YearItems.h"

#include <QSet>

namespace {

QString dayOf(int year, const ImportedHoliday& h)
{
    return h.everyYear ? QStringLiteral("%1-%2 every year")
                             .arg(h.month, 2, 10, QLatin1Char('0'))
                             .arg(h.day, 2, 10, QLatin1Char('0'))
                       : SyncText::date(QDate(year, h.month, h.day));
}

QString dayKeyOf(int year, const ImportedHoliday& h)
{
    return YearItems::dayKey(CalendarExport::redDayEvent(year, h.month, h.day, h.text, h.everyYear));
}

} // namespace

bool SyncEngine::takeIn(Round& r)
{
    bool any = false;
    for (const SyncDecision::Step& s : r.steps)
        any = any || s.here != SyncDecision::Here::None || !s.dropDays.isEmpty();
    for (const SyncPlan::Known& k : r.known)
        r.next.insert(k.uid, k);
    if (!any)
        return true;
    QString error;
    YearDocument* document = m_year.edit(error);
    if (!document)
        return stop(QStringLiteral("%1. Nothing was taken in.").arg(error));
    YearEdits edits(*document, m_year.year());
    dropForeignDays(r, edits);
    applyOurs(r, edits);
    edits.finish();
    importForeign(r, *document);
    tieForeignDays(r);
    // The ties exist only in the record, which is written after the year: a run cut between the two
    // would leave the days it took in as nobody's, and another client's later change of them unseen.
    if (!r.tiedDays.isEmpty() && !writeTieJournal(r))
        return false;
    if (!m_year.save(error))
        return stop(QStringLiteral("%1 The server was not changed by what failed here.").arg(error));
    return true;
}

// A foreign event's red days go with it, when it went there or changed (what it gives now comes next).
void SyncEngine::dropForeignDays(Round& r, YearEdits& edits)
{
    for (const SyncDecision::Step& s : r.steps) {
        for (const QString& key : s.dropDays) {
            const qsizetype l = r.localByKey.value(key, -1);
            if (l < 0)
                continue;
            const CalendarEvent& day = r.out.events.at(l);
            edits.remove(day);
            if (s.here != SyncDecision::Here::Remove)
                continue;
            ++m_result.removedHere;
            m_sink.line(QStringLiteral("removed"),
                        QStringLiteral("red day %1 (%2) here: %3 was deleted on the server")
                            .arg(SyncText::redDay(day), day.summary, s.uid));
        }
        if (s.here == SyncDecision::Here::Remove && s.local < 0)
            r.next.remove(s.uid);
    }
}

void SyncEngine::applyOurs(Round& r, YearEdits& edits)
{
    for (const SyncDecision::Step& s : r.steps) {
        const CalendarEvent* local = r.localOf(s);
        CalendarEvent base;
        const SyncPlan::Known* k = r.knownOf(s.uid);
        const bool hasBase = k && YearItems::baseEvent(*k, base);
        if (s.here == SyncDecision::Here::Remove && local) {
            edits.remove(*local);
            ++m_result.removedHere;
            if (!s.conflict)
                m_sink.line(QStringLiteral("removed"),
                            QStringLiteral("%1 %2 here")
                                .arg(SyncText::kind(local->kind), SyncText::item(s.uid, local->summary)));
            r.next.remove(s.uid);
        } else if (s.here == SyncDecision::Here::Remove) {
            r.next.remove(s.uid);
        }
        if (s.here != SyncDecision::Here::Apply)
            continue;
        const CalendarEvent& server = r.serverEvents.at(s.remote);
        QString why;
        if (!edits.apply(server, local, hasBase ? &base : nullptr, why)) {
            m_sink.line(QStringLiteral("left"),
                        QStringLiteral("%1: %2").arg(SyncText::item(s.uid, server.summary), why));
            ++m_result.left;
            continue;
        }
        if (!why.isEmpty())
            m_sink.line(QStringLiteral("note"), QStringLiteral("%1: %2").arg(s.uid, why));
        SyncPlan::Known n = OutgoingEvents::knownFrom(server, s.href, r.remotes.at(s.remote).etag,
                                                      r.remotes.at(s.remote).content);
        if (server.kind == CalendarEvent::Kind::Project)
            n.position = int(edits.lastPosition());
        r.next.insert(s.uid, n);
        ++m_result.takenIn;
        if (!s.conflict)
            m_sink.line(QStringLiteral("took in"),
                        QStringLiteral("%1 %2").arg(SyncText::kind(server.kind),
                                                    SyncText::item(s.uid, server.summary)));
    }
}

// Each foreign event on its own, decided on the year as the events before it left it, so that what a day
// gets is always paired with the event that gave it. A day it gives, or already held as it gives it, is
// tied to it; one of our own items stays ours.
void SyncEngine::importForeign(Round& r, YearDocument& document)
{
    QSet<QString> ours;
    for (const SyncPlan::Known& k : r.known)
        if (!k.foreign)
            ours.insert(k.key);
    const int year = m_year.year();
    for (const SyncDecision::Step& s : r.steps) {
        if (s.here != SyncDecision::Here::Import)
            continue;
        SyncPlan::Known n;
        n.uid = s.uid;
        n.href = s.href;
        n.etag = r.remotes.at(s.remote).etag;
        n.foreign = true;
        r.next.insert(s.uid, n);
        QStringList& tied = r.tiedDays[s.uid];
        for (const HolidayPlan::Decision& d :
             HolidayPlan::plan(document.data(), r.givenBy.value(s.remote), m_options.replace)) {
            const QString key = dayKeyOf(year, d.holiday);
            const bool add = d.action == HolidayPlan::Action::Add || d.action == HolidayPlan::Action::Replace;
            if (add) {
                RedDayRecord record = document.data().m_redDays.at(d.dayIndex);
                record.m_bEveryYear = d.holiday.everyYear ? 1 : 0;
                record.m_stDate = Calendar::makeDate(year, d.holiday.month, d.holiday.day);
                document.setRedDay(d.dayIndex, record, TextCodec::encode(d.holiday.text));
                m_sink.line(
                    QStringLiteral("red day"),
                    QStringLiteral("%1 %2 (from %3)").arg(dayOf(year, d.holiday), d.holiday.text, s.uid));
                ++m_result.redDays;
            } else if (d.action == HolidayPlan::Action::Keep) {
                m_sink.line(QStringLiteral("skipped"),
                            QStringLiteral("%1 %2: the day is already the red day \"%3\"")
                                .arg(dayOf(year, d.holiday), d.holiday.text, d.existing));
            }
            if ((add || d.action == HolidayPlan::Action::Same) && (add || !ours.contains(key)))
                tied << key;
        }
        if (!m_listed.contains(s.uid))
            for (const QString& line : r.leftBy.value(s.remote)) {
                m_sink.line(QStringLiteral("left"), line);
                ++m_result.left;
            }
        m_listed.insert(s.uid);
    }
}

QHash<QString, QByteArray> SyncEngine::redDayHashes(const YearData& year)
{
    QStringList ignored;
    QHash<QString, QByteArray> hashOfDay;
    for (const CalendarEvent& e : CalendarExport::events(year, ignored))
        if (e.kind == CalendarEvent::Kind::RedDay)
            hashOfDay.insert(YearItems::dayKey(e), OutgoingEvents::redDayHash(e));
    return hashOfDay;
}

// The tie is each day with the red day as the year now holds it: a day the planner changes later leaves it.
void SyncEngine::tieForeignDays(Round& r)
{
    if (r.tiedDays.isEmpty())
        return;
    const QHash<QString, QByteArray> hashOfDay = redDayHashes(m_year.data());
    for (auto t = r.tiedDays.cbegin(); t != r.tiedDays.cend(); ++t) {
        if (!r.next.contains(t.key()))
            continue;
        SyncPlan::Known& k = r.next[t.key()];
        for (const QString& key : t.value())
            if (hashOfDay.contains(key))
                k.days.insert(key, hashOfDay.value(key));
    }
}
