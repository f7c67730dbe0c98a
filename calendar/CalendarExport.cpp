#include "CalendarExport.h"

#include "Calendar.h"
#include "TextCodec.h"
#include "YearData.h"

namespace {

const QString kDomain = QStringLiteral("@tolva");

QDate dateOf(int year, int month, int day)
{
    return QDate(year, month, day);
}

QString monthDayKey(int month, int day)
{
    return QStringLiteral("%1-%2").arg(month, 2, 10, QLatin1Char('0')).arg(day, 2, 10, QLatin1Char('0'));
}

bool isMidnight(const SYSTEMTIME& st)
{
    return st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && st.wMilliseconds == 0;
}

} // namespace

QString CalendarExport::plainText(const QByteArray& bytes)
{
    QString text = TextCodec::decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QString CalendarExport::summaryOf(const QString& text)
{
    const QString line = text.section(QLatin1Char('\n'), 0, 0);
    if (line.size() <= kMaxSummaryLength)
        return line;
    qsizetype cut = kMaxSummaryLength - 1;
    if (line.at(cut - 1).isHighSurrogate())
        --cut;
    return line.left(cut) + QChar(0x2026);
}

CalendarEvent CalendarExport::redDayEvent(int year, int month, int day, const QString& text, bool everyYear)
{
    CalendarEvent ev;
    ev.kind = CalendarEvent::Kind::RedDay;
    ev.uid = (everyYear ? QStringLiteral("every-year-") + monthDayKey(month, day)
                        : QStringLiteral("%1-").arg(year) + monthDayKey(month, day)) +
             QStringLiteral("-red-day") + kDomain;
    ev.description = text;
    ev.summary = summaryOf(ev.description);
    // Every year alike, so that each year shown publishes the same event.
    ev.start = everyYear ? dateOf(kEveryYearStart, month, day) : dateOf(year, month, day);
    ev.endExclusive = ev.start.addDays(1);
    ev.yearly = everyYear;
    return ev;
}

QString CalendarExport::positionalProjectUid(int year, qsizetype position)
{
    return QStringLiteral("%1-project-%2").arg(year).arg(position) + kDomain;
}

QList<CalendarEvent> CalendarExport::events(const YearData& year, QStringList& notes,
                                            const QStringList& projectUids)
{
    QList<CalendarEvent> out;
    const int shown = year.year();

    for (qsizetype i = 0; i < year.m_projects.count(); ++i) {
        const ProjectRecord& p = year.m_projects.at(i);
        const QString name = i < year.m_names.count() ? plainText(year.m_names.at(i)) : QString();
        const SYSTEMTIME& s = p.m_stStart;
        const SYSTEMTIME& e = p.m_stEnd;
        // The days whose midnight lies in the period, as the painter draws the long line: a start after
        // midnight leaves its own day out, a start before 1900 lets every day qualify (the line runs from
        // the year's first day) and an end before 1900 lets none.
        const bool fromEver = s.wYear < 1900;
        if (e.wYear < 1900 || !Calendar::isValidDate(e.wYear, e.wMonth, e.wDay) ||
            (!fromEver && !Calendar::isValidDate(s.wYear, s.wMonth, s.wDay))) {
            notes << QStringLiteral("project \"%1\" has no period of real dates; not exported").arg(name);
            continue;
        }
        const std::int64_t first =
            fromEver ? Calendar::dayNumber(shown, 1, 1)
                     : Calendar::dayNumber(s.wYear, s.wMonth, s.wDay) + (isMidnight(s) ? 0 : 1);
        const std::int64_t last = Calendar::dayNumber(e.wYear, e.wMonth, e.wDay);
        if (first > last) {
            notes << QStringLiteral("project \"%1\" covers no whole day; not exported").arg(name);
            continue;
        }
        int fy, fm, fd, ly, lm, ld;
        Calendar::dateFromDayNumber(first, fy, fm, fd);
        Calendar::dateFromDayNumber(last, ly, lm, ld);
        CalendarEvent ev;
        ev.kind = CalendarEvent::Kind::Project;
        ev.position = i;
        ev.uid = i < projectUids.size() && !projectUids.at(i).isEmpty() ? projectUids.at(i)
                                                                        : positionalProjectUid(shown, i);
        // A name longer than a summary goes whole into the description, as a memo's text does.
        ev.summary = summaryOf(name);
        if (ev.summary != name)
            ev.description = name;
        ev.start = dateOf(fy, fm, fd);
        ev.endExclusive = dateOf(ly, lm, ld).addDays(1);
        ev.hasColor = true;
        ev.color = p.m_crColor & 0x00FFFFFF;
        if (i < DayMarkRecord::kMaxProjects) {
            for (int n = 1; n <= (Calendar::isLeapYear(shown) ? 366 : 365) && n < year.m_dayMarks.count();
                 ++n) {
                if (year.m_dayMarks.at(n).m_bChecked[i]) {
                    int ty, tm, td;
                    Calendar::dateFromDayNumber(Calendar::dayNumber(shown, 1, 1) + n - 1, ty, tm, td);
                    ev.ticks << dateOf(ty, tm, td);
                }
            }
        }
        out << ev;
    }

    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= Calendar::daysInMonth(shown, month); ++day) {
            const int n = Calendar::dayOfYear(shown, month, day);
            const QDate date = dateOf(shown, month, day);
            const QString key = QStringLiteral("%1-").arg(shown) + monthDayKey(month, day);

            if (n < year.m_redTexts.count() && !year.m_redTexts.at(n).isEmpty()) {
                const bool everyYear = n < year.m_redDays.count() && year.m_redDays.at(n).m_bEveryYear != 0;
                CalendarEvent ev =
                    redDayEvent(shown, month, day, plainText(year.m_redTexts.at(n)), everyYear);
                ev.dayIndex = n;
                out << ev;
            }
            if (n < year.m_memos.count() && !year.m_memos.at(n).isEmpty()) {
                CalendarEvent ev;
                ev.kind = CalendarEvent::Kind::Memo;
                ev.dayIndex = n;
                ev.uid = key + QStringLiteral("-memo") + kDomain;
                ev.description = plainText(year.m_memos.at(n));
                ev.summary = summaryOf(ev.description);
                ev.start = date;
                ev.endExclusive = date.addDays(1);
                out << ev;
            }
            if (n < year.m_alarms.count()) {
                const AlarmRecord& a = year.m_alarms.at(n);
                if (!a.m_bOn || !Calendar::isValidDateTime(a.m_stWhen))
                    continue;
                const QString text =
                    n < year.m_alarmTexts.count() ? plainText(year.m_alarmTexts.at(n)) : QString();
                CalendarEvent ev;
                ev.kind = CalendarEvent::Kind::Alarm;
                ev.dayIndex = n;
                ev.uid = key + QStringLiteral("-alarm") + kDomain;
                ev.summary = text.isEmpty() ? QStringLiteral("Alarm") : summaryOf(text);
                ev.description = text;
                ev.timed = true;
                ev.start = dateOf(a.m_stWhen.wYear, a.m_stWhen.wMonth, a.m_stWhen.wDay);
                ev.startTime = QTime(a.m_stWhen.wHour, a.m_stWhen.wMinute, a.m_stWhen.wSecond);
                out << ev;
            }
        }
    }
    return out;
}
