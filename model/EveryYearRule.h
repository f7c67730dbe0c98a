#pragma once

#include "EveryYearRemovals.h"
#include "ForeverRedDays.h"
#include "YearData.h"

#include <QByteArray>

#include <functional>
#include <utility>

// How the every-year red days show in a year: the planner's rule, also for tolva-cli's reading of a year.
namespace EveryYearRule {
// A red day the year holds of its own: one with a text that does not repeat. An entry never covers it.
bool isOwnRedDay(const YearData& data, int dayIndex);

// A day still flagged in a year file whose entry the user removed since: a copy of the removed entry goes,
// a text of the year's own stays as a one-year red day.
std::pair<RedDayRecord, QByteArray> afterRemoval(const RedDayRecord& flagged, const QByteArray& text,
                                                 const QByteArray& removedText);

// `year` as the planner shows it, for reading only: flagged days of removed entries settled as above, then
// every entry placed on its date except over a red day of the year's own. A flagged day the list does not
// know and nobody removed stays as the file has it (the planner would add it to the list).
void applyForShowing(YearData& year, const ForeverRedDays& everyYear, const EveryYearRemovals& removals);

// Each entry of `everyYear` with the day index it goes to in `year`, where it goes at all: a date the year
// has, and no red day of the year's own there.
void forEachPlacement(const YearData& year, const ForeverRedDays& everyYear,
                      const std::function<void(int, const RedDayRecord&, const QByteArray&)>& place);
} // namespace EveryYearRule
