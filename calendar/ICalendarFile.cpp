#include "ICalendarFile.h"

#include "Calendar.h"
#include "TextCodec.h"

#include <libical/ical.h>

#include <QColor>
#include <QSet>
#include <QTimeZone>

#include <climits>
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

const char* const kKindProperty = "X-TOLVA-KIND";
const char* const kColorProperty = "X-TOLVA-COLOR";
const char* const kTicksProperty = "X-TOLVA-TICKS";

const char* kindName(CalendarEvent::Kind kind)
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
    return "red-day";
}

void addX(icalcomponent* c, const char* name, const QByteArray& value)
{
    icalproperty* p = icalproperty_new_x(value.constData());
    icalproperty_set_x_name(p, name);
    icalcomponent_add_property(c, p);
}

QByteArray xValue(icalcomponent* c, const char* name)
{
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_X_PROPERTY)) {
        const char* n = icalproperty_get_x_name(p);
        if (n && qstricmp(n, name) == 0) {
            const char* v = icalproperty_get_x(p);
            return QByteArray(v ? v : "");
        }
    }
    return QByteArray();
}

bool hasX(icalcomponent* c, const char* name)
{
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_X_PROPERTY)) {
        const char* n = icalproperty_get_x_name(p);
        if (n && qstricmp(n, name) == 0)
            return true;
    }
    return false;
}

// The planner's events: its marker property, or a UID of its domain.
bool isOurs(icalcomponent* event)
{
    if (hasX(event, kKindProperty))
        return true;
    const char* uid = icalcomponent_get_uid(event);
    return uid && QByteArray(uid).endsWith("@tolva");
}

icaltimetype utcValue(const QDateTime& moment)
{
    const QDateTime u = moment.toUTC();
    icaltimetype t = icaltime_null_time();
    t.year = u.date().year();
    t.month = u.date().month();
    t.day = u.date().day();
    t.hour = u.time().hour();
    t.minute = u.time().minute();
    t.second = u.time().second();
    t.zone = icaltimezone_get_utc_timezone();
    return t;
}

QDate qDate(const icaltimetype& t)
{
    return isRealDate(t) ? QDate(t.year, t.month, t.day) : QDate();
}

std::uint32_t colorRefOf(const QColor& c)
{
    return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) | (std::uint32_t(c.blue()) << 16);
}

QColor qColorOf(std::uint32_t c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
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
        if (isOurs(event)) {
            ++m_ours;
            return;
        }

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

    int oursSkipped() const { return m_ours; }

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
    int m_ours = 0;
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
        icalcomponent_add_property(ev, icalproperty_new_sequence(e.sequence));
        // Without a revision of its own (export-ics), an event is as new as the export.
        icalcomponent_add_property(
            ev, icalproperty_new_lastmodified(utcValue(e.lastModified.isValid() ? e.lastModified : stamp)));
        addX(ev, kKindProperty, kindName(e.kind));
        if (e.hasColor) {
            icalcomponent_add_property(ev, icalproperty_new_color(utf8(colorName(e.color)).constData()));
            addX(ev, kColorProperty, qColorOf(e.color).name().toLatin1());
        }
        if (!e.ticks.isEmpty()) {
            QByteArrayList days;
            for (const QDate& d : e.ticks)
                days << d.toString(QStringLiteral("yyyyMMdd")).toLatin1();
            addX(ev, kTicksProperty, days.join(','));
        }

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
            if (!e.alarmOn) {
                icalcomponent_add_component(calendar.get(), event.release());
                continue;
            }

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

namespace {

// The calendars in `text` (a VCALENDAR, or several under an XROOT); `root` owns them.
bool parseCalendars(const QByteArray& input, Component& root, QList<icalcomponent*>& calendars,
                    QString& error, QStringList* warnings)
{
    quietLibical();
    if (input.size() > ICalendarFile::kMaxInputSize) {
        error = QStringLiteral("it is larger than %1 MiB").arg(ICalendarFile::kMaxInputSize >> 20);
        return false;
    }
    if (input.contains('\0')) {
        error = QStringLiteral("it holds NUL bytes, so it is no iCalendar text");
        return false;
    }
    QStringList lineWarnings;
    const QByteArray text = ICalendarFile::toUtf8(input, lineWarnings);
    if (warnings)
        *warnings << lineWarnings;
    root.reset(icalparser_parse_string(text.constData()));
    if (!root) {
        error = QStringLiteral("it is no iCalendar text");
        return false;
    }
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
    return true;
}

} // namespace

bool ICalendarFile::readHolidays(const QByteArray& text, int year, QList<ImportedHoliday>& days,
                                 QStringList& skipped, QString& error, QStringList* warnings)
{
    Component root;
    QList<icalcomponent*> calendars;
    if (!parseCalendars(text, root, calendars, error, warnings))
        return false;
    HolidayReader reader(year, days, skipped);
    for (icalcomponent* calendar : calendars)
        for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
             e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
            reader.readEvent(e);
    if (reader.oursSkipped() > 0)
        skipped << QStringLiteral("%1 of the planner's own events: they are no holidays")
                       .arg(reader.oursSkipped());
    return true;
}

QByteArray ICalendarFile::toUtf8(const QByteArray& text, QStringList& warnings)
{
    QByteArray out;
    out.reserve(text.size());
    const QList<QByteArray> lines = text.split('\n');
    qsizetype i = 0;
    while (i < lines.size()) {
        // A logical line and its folds: the next physical lines that begin with a space or a tab.
        const qsizetype first = i;
        QByteArray logical = lines.at(i);
        if (logical.endsWith('\r'))
            logical.chop(1);
        for (++i;
             i < lines.size() && !lines.at(i).isEmpty() && (lines.at(i)[0] == ' ' || lines.at(i)[0] == '\t');
             ++i) {
            QByteArray fold = lines.at(i).mid(1);
            if (fold.endsWith('\r'))
                fold.chop(1);
            logical += fold;
        }
        if (!TextCodec::isValidUtf8(logical)) {
            warnings << QStringLiteral("line %1 is not UTF-8; read as Windows-1252").arg(first + 1);
            logical = TextCodec::decode(logical).toUtf8();
        }
        out += logical;
        if (i < lines.size())
            out += "\r\n";
    }
    return out;
}

QString ICalendarFile::colorName(std::uint32_t color)
{
    static const auto names = [] {
        QList<QPair<QString, QColor>> list;
        for (const QString& name : QColor::colorNames())
            if (name != QLatin1String("transparent"))
                list << qMakePair(name, QColor::fromString(name));
        return list;
    }();
    const QColor c = qColorOf(color);
    QString best;
    int bestDistance = INT_MAX;
    for (const auto& [name, value] : names) {
        const int dr = value.red() - c.red(), dg = value.green() - c.green(), db = value.blue() - c.blue();
        const int distance = dr * dr + dg * dg + db * db;
        // Ties go to the first name in the list, so "gray" and "grey" never swap.
        if (distance < bestDistance) {
            bestDistance = distance;
            best = name;
        }
    }
    return best;
}

QByteArray ICalendarFile::canonical(CalendarEvent event)
{
    event.sequence = 0;
    event.lastModified = QDateTime();
    event.ours = true;
    QString note;
    // The zone only decides how an alarm's moment is written; UTC keeps it the same on every machine.
    return write({event}, "UTC", QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC), note);
}

namespace {

// A timed start in local wall-clock time: UTC and zoned times converted, floating times as they are.
QDateTime localMoment(icalproperty* startProp, const icaltimetype& t)
{
    const QDateTime wall(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    if (icaltime_is_utc(t))
        return QDateTime(wall.date(), wall.time(), Qt::UTC).toLocalTime();
    if (icalparameter* tz = icalproperty_get_first_parameter(startProp, ICAL_TZID_PARAMETER)) {
        const QTimeZone zone(QByteArray(icalparameter_get_tzid(tz)));
        if (zone.isValid())
            return QDateTime(wall.date(), wall.time(), zone).toLocalTime();
    }
    return wall;
}

CalendarEvent::Kind kindOf(icalcomponent* ev, const QString& uid, bool timed)
{
    const QByteArray kind = xValue(ev, kKindProperty).trimmed().toLower();
    if (kind == "project" || uid.contains(QLatin1String("-project-")))
        return CalendarEvent::Kind::Project;
    if (kind == "memo" || (kind.isEmpty() && uid.endsWith(QLatin1String("-memo@tolva"))))
        return CalendarEvent::Kind::Memo;
    if (kind == "alarm" || (kind.isEmpty() && (timed || uid.endsWith(QLatin1String("-alarm@tolva")))))
        return CalendarEvent::Kind::Alarm;
    return CalendarEvent::Kind::RedDay;
}

} // namespace

bool ICalendarFile::readEvents(const QByteArray& text, QList<CalendarEvent>& events, QString& error,
                               QStringList* warnings)
{
    Component root;
    QList<icalcomponent*> calendars;
    if (!parseCalendars(text, root, calendars, error, warnings))
        return false;
    for (icalcomponent* calendar : calendars) {
        for (icalcomponent* ev = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            CalendarEvent e;
            const char* uid = icalcomponent_get_uid(ev);
            e.uid = QString::fromUtf8(uid ? uid : "");
            const char* summary = icalcomponent_get_summary(ev);
            e.summary = QString::fromUtf8(summary ? summary : "");
            const char* description = icalcomponent_get_description(ev);
            e.description = QString::fromUtf8(description ? description : "");
            e.ours = isOurs(ev);
            icalproperty* startProp = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
            const icaltimetype start = startProp ? icalproperty_get_dtstart(startProp) : icaltime_null_time();
            e.timed = !icaltime_is_null_time(start) && !start.is_date;
            if (e.timed) {
                const QDateTime local = localMoment(startProp, start);
                e.start = local.date();
                e.startTime = local.time();
                e.alarmOn = icalcomponent_get_first_component(ev, ICAL_VALARM_COMPONENT) != nullptr;
            } else {
                e.start = qDate(start);
                const icaltimetype end = icalcomponent_get_dtend(ev);
                e.endExclusive = icaltime_is_null_time(end) ? e.start.addDays(1) : qDate(end);
                if (e.endExclusive.isValid() && e.start.isValid() && e.endExclusive <= e.start)
                    e.endExclusive = e.start.addDays(1);
            }
            if (icalproperty* rule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY))
                e.yearly = icalproperty_get_rrule(rule).freq == ICAL_YEARLY_RECURRENCE;
            e.kind = kindOf(ev, e.uid, e.timed);
            if (icalproperty* seq = icalcomponent_get_first_property(ev, ICAL_SEQUENCE_PROPERTY))
                e.sequence = icalproperty_get_sequence(seq);
            if (icalproperty* lm = icalcomponent_get_first_property(ev, ICAL_LASTMODIFIED_PROPERTY)) {
                const icaltimetype t = icalproperty_get_lastmodified(lm);
                e.lastModified =
                    QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
            }
            // COLOR is a CSS name, coarser than the planner's colours: the exact one stands beside it, and
            // holds while COLOR is still its name.
            const QColor exact =
                QColor::fromString(QString::fromLatin1(xValue(ev, kColorProperty).trimmed()));
            icalproperty* colorProp = icalcomponent_get_first_property(ev, ICAL_COLOR_PROPERTY);
            const QString css =
                colorProp ? QString::fromUtf8(icalproperty_get_color(colorProp)).trimmed() : QString();
            const QColor named = QColor::fromString(css);
            if (exact.isValid() &&
                (css.isEmpty() || css.compare(colorName(colorRefOf(exact)), Qt::CaseInsensitive) == 0)) {
                e.hasColor = true;
                e.color = colorRefOf(exact);
            } else if (named.isValid()) {
                e.hasColor = true;
                e.color = colorRefOf(named);
            }
            for (const QByteArray& day : xValue(ev, kTicksProperty).split(',')) {
                const QDate d =
                    QDate::fromString(QString::fromLatin1(day.trimmed()), QStringLiteral("yyyyMMdd"));
                if (d.isValid())
                    e.ticks << d;
            }
            events << e;
        }
    }
    return true;
}
