#include "ICalendarFile.h"

#include "Calendar.h"

#include <libical/ical.h>

#include <QSet>

#include <cstdlib>
#include <memory>

namespace {

struct ComponentFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

struct IteratorFree
{
    void operator()(icalrecur_iterator* it) const { icalrecur_iterator_free(it); }
};
using RecurIterator = std::unique_ptr<icalrecur_iterator, IteratorFree>;

// A runaway rule (every second on a date) must end. From the year's first day on, a daily rule needs
// 366 steps; a rule with COUNT starts at its DTSTART and may need more.
constexpr int kMaxOccurrencesPerEvent = 200000;

void quietLibical()
{
    // Damaged input is ours to report; libical must neither abort nor print.
    icalerror_set_errors_are_fatal(0);
}

QByteArray utf8(const QString& s)
{
    return s.toUtf8();
}

icaltimetype dateValue(const QDate& d)
{
    icaltimetype t = icaltime_null_date();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    return t;
}

bool isUtcZone(const QByteArray& id)
{
    static const QSet<QByteArray> names{"UTC",       "Etc/UTC",  "Etc/UCT",       "UCT",
                                        "GMT",       "Etc/GMT",  "Etc/GMT0",      "Etc/GMT+0",
                                        "Etc/GMT-0", "GMT0",     "Universal",     "Etc/Universal",
                                        "Zulu",      "Etc/Zulu", "Etc/Greenwich", "Greenwich"};
    return names.contains(id);
}

QString categoryOf(CalendarEvent::Kind kind)
{
    switch (kind) {
    case CalendarEvent::Kind::Project:
        return QStringLiteral("Project");
    case CalendarEvent::Kind::Memo:
        return QStringLiteral("Memo");
    case CalendarEvent::Kind::Alarm:
        return QStringLiteral("Alarm");
    case CalendarEvent::Kind::RedDay:
        break;
    }
    return QStringLiteral("Red day");
}

std::int64_t dayNumberOf(const icaltimetype& t)
{
    return Calendar::dayNumber(t.year, t.month, t.day);
}

bool isRealDate(const icaltimetype& t)
{
    return Calendar::isValidDate(t.year, t.month, t.day);
}

bool listEmpty(const short* list)
{
    return list[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

bool listIsJust(const short* list, int value)
{
    return list[0] == value && list[1] == ICAL_RECURRENCE_ARRAY_MAX;
}

// FREQ=YEARLY on the start's own month and day, every year, with no end and no exceptions: what the
// planner keeps as an every-year red day.
bool repeatsEveryYearOnItsDay(icalcomponent* event, const icalrecurrencetype& r, const icaltimetype& start)
{
    return r.freq == ICAL_YEARLY_RECURRENCE && r.interval == 1 && r.count == 0 &&
           icaltime_is_null_time(r.until) && listEmpty(r.by_second) && listEmpty(r.by_minute) &&
           listEmpty(r.by_hour) && listEmpty(r.by_day) && listEmpty(r.by_year_day) &&
           listEmpty(r.by_week_no) && listEmpty(r.by_set_pos) &&
           (listEmpty(r.by_month) || listIsJust(r.by_month, start.month)) &&
           (listEmpty(r.by_month_day) || listIsJust(r.by_month_day, start.day)) && r.rscale == nullptr &&
           icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY) == nullptr &&
           icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY) == nullptr &&
           icalcomponent_count_properties(event, ICAL_RRULE_PROPERTY) == 1;
}

class HolidayReader
{
public:
    HolidayReader(int year, QList<ImportedHoliday>& days, QStringList& skipped)
        : m_year(year), m_first(Calendar::dayNumber(year, 1, 1)), m_last(Calendar::dayNumber(year, 12, 31)),
          m_days(days), m_skipped(skipped)
    {
    }

    void readEvent(icalcomponent* event)
    {
        const char* summaryText = icalcomponent_get_summary(event);
        const QString summary = QString::fromUtf8(summaryText ? summaryText : "").simplified();
        const QString name = summary.isEmpty() ? QStringLiteral("(no summary)") : summary;
        const qsizetype skippedBefore = m_skipped.size();

        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(start) || !isRealDate(start)) {
            m_skipped << QStringLiteral("\"%1\": no start date").arg(name);
            return;
        }
        if (!start.is_date) {
            m_skipped << QStringLiteral("\"%1\": not an all-day event").arg(name);
            return;
        }
        if (summary.isEmpty()) {
            m_skipped << QStringLiteral("event on %1: no summary to use as the red day's text")
                             .arg(QString::fromLatin1(icaltime_as_ical_string(start)));
            return;
        }

        // All-day: DTEND is exclusive; a missing or inverted end means one day.
        const icaltimetype end = icalcomponent_get_dtend(event);
        std::int64_t length = 1;
        if (!icaltime_is_null_time(end) && isRealDate(end))
            length = std::max<std::int64_t>(1, dayNumberOf(end) - dayNumberOf(start));

        const qsizetype before = m_days.size();
        icalproperty* rruleProp = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        if (!rruleProp) {
            addSpan(dayNumberOf(start), length, summary);
            addRecurrenceDates(event, length, summary);
        } else {
            readRule(event, icalproperty_get_rrule(rruleProp), start, length, summary, name);
        }
        if (m_days.size() == before && m_skipped.size() == skippedBefore)
            m_skipped << QStringLiteral("\"%1\": no day in %2").arg(name).arg(m_year);
    }

private:
    void readRule(icalcomponent* event, const icalrecurrencetype& rule, const icaltimetype& start,
                  std::int64_t length, const QString& summary, const QString& name)
    {
        if (length == 1 && repeatsEveryYearOnItsDay(event, rule, start)) {
            // From a start after this year on, the rule gives this year nothing.
            if (start.year <= m_year)
                m_days << ImportedHoliday{start.month, start.day, summary, true};
            else
                m_skipped << QStringLiteral("\"%1\": repeats only from %2 on").arg(name).arg(start.year);
            return;
        }
        expandRule(event, rule, start, length, summary, name);
        addRecurrenceDates(event, length, summary);
    }

    void addSpan(std::int64_t first, std::int64_t length, const QString& text)
    {
        for (std::int64_t n = std::max(first, m_first); n < first + length && n <= m_last; ++n) {
            int y, m, d;
            Calendar::dateFromDayNumber(n, y, m, d);
            m_days << ImportedHoliday{m, d, text, false};
        }
    }

    void addRecurrenceDates(icalcomponent* event, std::int64_t length, const QString& text)
    {
        for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
            if (!icaltime_is_null_time(rdate.time) && isRealDate(rdate.time))
                addSpan(dayNumberOf(rdate.time), length, text);
        }
    }

    void expandRule(icalcomponent* event, const icalrecurrencetype& rule, const icaltimetype& start,
                    std::int64_t length, const QString& text, const QString& name)
    {
        QSet<std::int64_t> excluded;
        for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype ex = icalproperty_get_exdate(p);
            if (isRealDate(ex))
                excluded.insert(dayNumberOf(ex));
        }
        RecurIterator it(icalrecur_iterator_new(rule, start));
        if (!it) {
            m_skipped << QStringLiteral("\"%1\": its repeat rule cannot be read").arg(name);
            return;
        }
        // Without COUNT the iterator can start at the first occurrence that may reach into the year, so
        // a daily rule from long ago costs no more than one from last year.
        const std::int64_t from = m_first - (length - 1);
        if (rule.count == 0 && dayNumberOf(start) < from) {
            int y, m, d;
            Calendar::dateFromDayNumber(from, y, m, d);
            icaltimetype jump = start;
            jump.year = y;
            jump.month = m;
            jump.day = d;
            icalrecur_iterator_set_start(it.get(), jump);
        }
        const qsizetype before = m_days.size();
        QSet<std::int64_t> seen; // a rule finer than a day repeats its days
        int steps = 0;
        for (icaltimetype t = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it.get())) {
            if (++steps > kMaxOccurrencesPerEvent) {
                m_days.resize(before);
                m_skipped << QStringLiteral("\"%1\": its repeat rule gives too many occurrences").arg(name);
                return;
            }
            if (!isRealDate(t))
                break;
            const std::int64_t n = dayNumberOf(t);
            if (n > m_last)
                break;
            if (n + length > m_first && !excluded.contains(n) && !seen.contains(n)) {
                seen.insert(n);
                addSpan(n, length, text);
            }
        }
    }

    int m_year;
    std::int64_t m_first;
    std::int64_t m_last;
    QList<ImportedHoliday>& m_days;
    QStringList& m_skipped;
};

} // namespace

QByteArray ICalendarFile::write(const QList<CalendarEvent>& events, const QByteArray& timeZoneId,
                                const QDateTime& stamp, QString& note)
{
    quietLibical();
    Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(),
                               icalproperty_new_prodid("-//Quillmoor//Tolva " TOLVA_VERSION "//EN"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));

    bool anyTimed = false;
    for (const CalendarEvent& e : events)
        anyTimed = anyTimed || e.timed;

    // Timed events: zoned in the planner's local zone when libical knows it, else floating.
    enum class Times { Utc, Zoned, Floating } times = Times::Floating;
    QByteArray tzid;
    if (anyTimed) {
        if (isUtcZone(timeZoneId)) {
            times = Times::Utc;
        } else if (icaltimezone* zone = timeZoneId.isEmpty()
                                            ? nullptr
                                            : icaltimezone_get_builtin_timezone(timeZoneId.constData())) {
            times = Times::Zoned;
            // The plain IANA name, which every client knows, instead of libical's prefixed TZID.
            tzid = timeZoneId;
            Component vtimezone(icalcomponent_new_clone(icaltimezone_get_component(zone)));
            if (icalproperty* p = icalcomponent_get_first_property(vtimezone.get(), ICAL_TZID_PROPERTY))
                icalproperty_set_tzid(p, tzid.constData());
            icalcomponent_add_component(calendar.get(), vtimezone.release());
        } else {
            note = QStringLiteral("time zone \"%1\" is unknown; alarms are written as floating local times")
                       .arg(QString::fromUtf8(timeZoneId));
        }
    }

    const QDateTime utcStamp = stamp.toUTC();
    icaltimetype dtstamp = icaltime_null_time();
    dtstamp.year = utcStamp.date().year();
    dtstamp.month = utcStamp.date().month();
    dtstamp.day = utcStamp.date().day();
    dtstamp.hour = utcStamp.time().hour();
    dtstamp.minute = utcStamp.time().minute();
    dtstamp.second = utcStamp.time().second();
    dtstamp.zone = icaltimezone_get_utc_timezone();

    for (const CalendarEvent& e : events) {
        Component event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
        icalcomponent* ev = event.get();
        icalcomponent_add_property(ev, icalproperty_new_uid(utf8(e.uid).constData()));
        icalcomponent_add_property(ev, icalproperty_new_dtstamp(dtstamp));
        icalcomponent_add_property(ev, icalproperty_new_summary(utf8(e.summary).constData()));
        if (!e.description.isEmpty())
            icalcomponent_add_property(ev, icalproperty_new_description(utf8(e.description).constData()));
        icalcomponent_add_property(ev, icalproperty_new_categories(utf8(categoryOf(e.kind)).constData()));

        if (e.timed) {
            icaltimetype t = dateValue(e.start);
            t.is_date = 0;
            t.hour = e.startTime.hour();
            t.minute = e.startTime.minute();
            t.second = e.startTime.second();
            if (times == Times::Utc)
                t.zone = icaltimezone_get_utc_timezone();
            icalproperty* start = icalproperty_new_dtstart(t);
            if (times == Times::Zoned)
                icalproperty_add_parameter(start, icalparameter_new_tzid(tzid.constData()));
            icalcomponent_add_property(ev, start);
            icalcomponent_add_property(ev, icalproperty_new_duration(icaldurationtype_null_duration()));

            Component alarm(icalcomponent_new(ICAL_VALARM_COMPONENT));
            icalcomponent_add_property(alarm.get(), icalproperty_new_action(ICAL_ACTION_DISPLAY));
            icaltriggertype trigger{};
            trigger.time = icaltime_null_time();
            trigger.duration = icaldurationtype_null_duration();
            icalcomponent_add_property(alarm.get(), icalproperty_new_trigger(trigger));
            const QString text = e.description.isEmpty() ? e.summary : e.description;
            icalcomponent_add_property(alarm.get(), icalproperty_new_description(utf8(text).constData()));
            icalcomponent_add_component(ev, alarm.release());
        } else {
            icalcomponent_add_property(ev, icalproperty_new_dtstart(dateValue(e.start)));
            icalcomponent_add_property(ev, icalproperty_new_dtend(dateValue(e.endExclusive)));
            icalcomponent_add_property(ev, icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT));
            if (e.yearly) {
                icalrecurrencetype rule;
                icalrecurrencetype_clear(&rule);
                rule.freq = ICAL_YEARLY_RECURRENCE;
                icalcomponent_add_property(ev, icalproperty_new_rrule(rule));
            }
        }
        icalcomponent_add_component(calendar.get(), event.release());
    }

    char* text = icalcomponent_as_ical_string_r(calendar.get());
    const QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

bool ICalendarFile::readHolidays(const QByteArray& text, int year, QList<ImportedHoliday>& days,
                                 QStringList& skipped, QString& error)
{
    quietLibical();
    if (text.size() > kMaxInputSize) {
        error = QStringLiteral("it is larger than %1 MiB").arg(kMaxInputSize >> 20);
        return false;
    }
    if (text.contains('\0')) {
        error = QStringLiteral("it holds NUL bytes, so it is no iCalendar text");
        return false;
    }
    Component root(icalparser_parse_string(text.constData()));
    if (!root) {
        error = QStringLiteral("it is no iCalendar text");
        return false;
    }

    QList<icalcomponent*> calendars;
    const icalcomponent_kind kind = icalcomponent_isa(root.get());
    if (kind == ICAL_VCALENDAR_COMPONENT) {
        calendars << root.get();
    } else if (kind == ICAL_XROOT_COMPONENT) {
        for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars << c;
    }
    if (calendars.isEmpty()) {
        error = QStringLiteral("it holds no VCALENDAR");
        return false;
    }

    HolidayReader reader(year, days, skipped);
    for (icalcomponent* calendar : calendars)
        for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
             e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
            reader.readEvent(e);
    return true;
}
