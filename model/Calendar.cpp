#include "Calendar.h"

#include <QDateTime>

#include <array>

namespace Calendar {

namespace {

constexpr std::array<int, 13> kCumulativeDays = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                     "May",       "June",     "July",     "August",
                                                     "September", "October",  "November", "December"};

void appendNumber(QString& out, int value, int width)
{
    out += QString::number(value).rightJustified(width, QLatin1Char('0'));
}

SYSTEMTIME fromQDateTime(const QDateTime& dt)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    SYSTEMTIME st{};
    st.wYear = std::uint16_t(d.year());
    st.wMonth = std::uint16_t(d.month());
    st.wDay = std::uint16_t(d.day());
    st.wDayOfWeek = std::uint16_t(dayOfWeek(d.year(), d.month(), d.day()));
    st.wHour = std::uint16_t(t.hour());
    st.wMinute = std::uint16_t(t.minute());
    st.wSecond = std::uint16_t(t.second());
    st.wMilliseconds = std::uint16_t(t.msec());
    return st;
}

} // namespace

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    if (month < 1 || month > 12)
        return 0;
    if (month == 2)
        return isLeapYear(year) ? 29 : 28;
    return kCumulativeDays[std::size_t(month)] - kCumulativeDays[std::size_t(month - 1)];
}

bool isValidDate(int year, int month, int day)
{
    return year >= kFirstYear && year <= kLastYear && day >= 1 && day <= daysInMonth(year, month);
}

bool isValidDateTime(const SYSTEMTIME& st)
{
    return isValidDate(st.wYear, st.wMonth, st.wDay) && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60;
}

int dayOfYear(int year, int month, int day)
{
    if (!isValidDate(year, month, day))
        return -1;
    return kCumulativeDays[std::size_t(month - 1)] + day + (month > 2 && isLeapYear(year) ? 1 : 0);
}

std::int64_t dayNumber(int year, int month, int day)
{
    const std::int64_t y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400 + kCumulativeDays[std::size_t(month - 1)] + day - 1 +
           (month > 2 && isLeapYear(year) ? 1 : 0);
}

void dateFromDayNumber(std::int64_t n, int& year, int& month, int& day)
{
    // 146097 days per 400 years; walk down through centuries, 4-year cycles and years.
    std::int64_t y400 = n / 146097;
    std::int64_t r = n % 146097;
    std::int64_t y100 = std::min<std::int64_t>(r / 36524, 3);
    r -= y100 * 36524;
    std::int64_t y4 = r / 1461;
    r %= 1461;
    std::int64_t y1 = std::min<std::int64_t>(r / 365, 3);
    r -= y1 * 365;
    year = int(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    const int leap = isLeapYear(year) ? 1 : 0;
    month = 1;
    while (month < 12 && r >= kCumulativeDays[std::size_t(month)] + (month >= 2 ? leap : 0))
        ++month;
    day = int(r - kCumulativeDays[std::size_t(month - 1)] - (month > 2 ? leap : 0)) + 1;
}

int dayOfWeek(int year, int month, int day)
{
    if (!isValidDate(year, month, day))
        return -1;
    // Day 0 (1 January of year 1, proleptic Gregorian) was a Monday.
    return int((dayNumber(year, month, day) + 1) % 7);
}

std::int64_t serialSeconds(const SYSTEMTIME& st)
{
    const int month = st.wMonth >= 1 && st.wMonth <= 12 ? st.wMonth : 1;
    return dayNumber(st.wYear, month, st.wDay) * 86400 + std::int64_t(st.wHour) * 3600 +
           std::int64_t(st.wMinute) * 60 + st.wSecond;
}

bool periodCoversDay(const SYSTEMTIME& start, const SYSTEMTIME& end, int year, int month, int day)
{
    if (end.wYear < 1900)
        return false;
    const std::int64_t midnight = dayNumber(year, month, day) * 86400;
    return (start.wYear < 1900 || serialSeconds(start) <= midnight) && midnight <= serialSeconds(end);
}

QString dayName(int dow)
{
    return dow >= 0 && dow < 7 ? QString::fromLatin1(kDayNames[std::size_t(dow)]) : QString();
}

QString monthName(int month)
{
    return month >= 1 && month <= 12 ? QString::fromLatin1(kMonthNames[std::size_t(month - 1)]) : QString();
}

QString shortDayName(int dow)
{
    return dayName(dow).left(3);
}

QString shortMonthName(int month)
{
    return monthName(month).left(3);
}

QString format(const SYSTEMTIME& st, const char* fmt)
{
    QString out;
    const int dow = dayOfWeek(st.wYear, st.wMonth, st.wDay);
    for (const char* p = fmt; *p; ++p) {
        if (*p != '%' || !p[1]) {
            out += QLatin1Char(*p);
            continue;
        }
        switch (*++p) {
        case 'A':
            out += dayName(dow);
            break;
        case 'a':
            out += shortDayName(dow);
            break;
        case 'B':
            out += monthName(st.wMonth);
            break;
        case 'b':
            out += shortMonthName(st.wMonth);
            break;
        case 'd':
            appendNumber(out, st.wDay, 2);
            break;
        case 'm':
            appendNumber(out, st.wMonth, 2);
            break;
        case 'Y':
            out += QString::number(st.wYear);
            break;
        case 'H':
            appendNumber(out, st.wHour, 2);
            break;
        case 'M':
            appendNumber(out, st.wMinute, 2);
            break;
        case 'S':
            appendNumber(out, st.wSecond, 2);
            break;
        case '%':
            out += QLatin1Char('%');
            break;
        default:
            out += QLatin1Char('%');
            out += QLatin1Char(*p);
        }
    }
    return out;
}

SYSTEMTIME makeDate(int year, int month, int day)
{
    SYSTEMTIME st{};
    st.wYear = std::uint16_t(year);
    st.wMonth = std::uint16_t(month);
    st.wDay = std::uint16_t(day);
    const int dow = dayOfWeek(year, month, day);
    st.wDayOfWeek = std::uint16_t(dow < 0 ? 0 : dow);
    return st;
}

SYSTEMTIME nowLocal()
{
    return fromQDateTime(QDateTime::currentDateTime());
}

SYSTEMTIME nowUtc()
{
    return fromQDateTime(QDateTime::currentDateTimeUtc());
}

SYSTEMTIME dateOfDayOfYear(int year, int dayOfYear)
{
    const int days = isLeapYear(year) ? 366 : 365;
    if (dayOfYear < 1 || dayOfYear > days)
        dayOfYear = 1;
    int y = 0;
    int m = 0;
    int d = 0;
    dateFromDayNumber(dayNumber(year, 1, 1) + dayOfYear - 1, y, m, d);
    return makeDate(y, m, d);
}

} // namespace Calendar
