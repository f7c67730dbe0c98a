#include "YearEdits.h"

#include "Calendar.h"
#include "TextCodec.h"
#include "YearDocument.h"

#include <QSet>

#include <algorithm>
#include <functional>

namespace {

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

} // namespace

bool YearEdits::holds(const CalendarEvent& e, int year)
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

bool YearEdits::apply(const CalendarEvent& server, const CalendarEvent* local, const CalendarEvent* base,
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

void YearEdits::remove(const CalendarEvent& local)
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

void YearEdits::finish()
{
    std::sort(m_removedProjects.begin(), m_removedProjects.end(), std::greater<>());
    for (qsizetype p : m_removedProjects)
        if (p >= 0 && p < m_doc.data().m_projects.count())
            m_doc.removeProject(p);
    m_removedProjects.clear();
}

int YearEdits::dayIndex(const QDate& d) const
{
    if (!d.isValid() || d.year() != m_year)
        return -1;
    const int n = Calendar::dayOfYear(d.year(), d.month(), d.day());
    return m_doc.holdsDay(n) ? n : -1;
}

bool YearEdits::noDay(const CalendarEvent& e, QString& why)
{
    why = QStringLiteral("its day %1 is not in the year").arg(e.start.toString(Qt::ISODate));
    return false;
}

bool YearEdits::applyProject(const CalendarEvent& server, const CalendarEvent* local,
                             const CalendarEvent* base, QString& why)
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
    if (!base || server.summary != base->summary || server.description != base->description || p < 0)
        name = storedText(mergedText(server, base).section(QLatin1Char('\n'), 0, 0));
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
