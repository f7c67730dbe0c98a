#pragma once

#include "CalendarEvent.h"

#include <QString>

// The words the sync's report lines are made of.
namespace SyncText {

QString date(const QDate& d);
// A red day's day: "2026-05-01", or "05-01 every year".
QString redDay(const CalendarEvent& e);
// One value of an item for a conflict line: its text and day, a project's name and days; "deleted".
QString value(const CalendarEvent* e);
QString kind(CalendarEvent::Kind kind);
// "UID (summary)".
QString item(const QString& uid, const QString& summary);

} // namespace SyncText
