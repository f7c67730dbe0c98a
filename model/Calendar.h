#pragma once

#include "SystemTime.h"

#include <QString>

#include <cstdint>

// Proleptic Gregorian calendar arithmetic for the years 1 to 9999, independent of time_t and of the
// process locale. Every per-day list is indexed through dayOfYear(), so a date always meets its own records.
namespace Calendar {

constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

bool isLeapYear(int year);
// 0 for a month outside 1..12.
int daysInMonth(int year, int month);
// True for a date of the years 1..9999 that exists (not 30 February, not 31 April).
bool isValidDate(int year, int month, int day);
// True when the date exists and the time of day is 00:00:00 to 23:59:59.
bool isValidDateTime(const SYSTEMTIME& st);

// 1-based ordinal of the date in its year (1 January = 1); -1 for a date that does not exist.
int dayOfYear(int year, int month, int day);
// The date of a 1-based ordinal in `year`, the inverse of dayOfYear(); 1 January for one outside the year.
SYSTEMTIME dateOfDayOfYear(int year, int dayOfYear);
// 0 = Sunday .. 6 = Saturday; -1 for a date that does not exist.
int dayOfWeek(int year, int month, int day);
// Days since 1 January of year 1 (that day is 0); only meaningful for valid dates.
std::int64_t dayNumber(int year, int month, int day);
// The date of a day number, the inverse of dayNumber().
void dateFromDayNumber(std::int64_t n, int& year, int& month, int& day);

// Seconds since 1 January of year 1, 00:00:00, from the calendar fields as they stand (local time is
// compared as local time; no zone conversion).
std::int64_t serialSeconds(const SYSTEMTIME& st);

// Whether the local midnight that begins (year, month, day) lies within [start, end]. A start whose year is
// below 1900 lets every day qualify, an end whose year is below 1900 lets none.
bool periodCoversDay(const SYSTEMTIME& start, const SYSTEMTIME& end, int year, int month, int day);

// English names whatever the locale: "Sunday".."Saturday", "January".."December".
QString dayName(int dayOfWeek);
QString monthName(int month);
QString shortDayName(int dayOfWeek); // "Sun"
QString shortMonthName(int month);   // "Jan"

// strftime-style formatting with English names and no locale: %A %a %B %b %d %m %Y %H %M %S %%.
// wDayOfWeek is recomputed from the date. The caller checks validity first.
QString format(const SYSTEMTIME& st, const char* fmt);

// A SYSTEMTIME for the date at 00:00:00.000 with its day of the week filled in.
SYSTEMTIME makeDate(int year, int month, int day);
SYSTEMTIME nowLocal();
SYSTEMTIME nowUtc();

} // namespace Calendar
