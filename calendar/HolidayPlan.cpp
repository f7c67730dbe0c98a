#include "HolidayPlan.h"

#include "Calendar.h"
#include "TextCodec.h"
#include "YearData.h"

#include <QHash>

#include <algorithm>

QList<HolidayPlan::Decision> HolidayPlan::plan(const YearData& year, const QList<ImportedHoliday>& days,
                                               bool replace)
{
    QList<Decision> decisions;
    QHash<int, QString> given; // day index -> text an earlier event gave it
    const int shown = year.year();
    for (const ImportedHoliday& h : days) {
        Decision d;
        d.holiday = h;
        d.dayIndex = Calendar::dayOfYear(shown, h.month, h.day);
        if (d.dayIndex <= 0) {
            d.action = Action::NoDay;
            decisions << d;
            continue;
        }
        if (given.contains(d.dayIndex)) {
            d.action = Action::Taken;
            d.existing = given.value(d.dayIndex);
            decisions << d;
            continue;
        }
        given.insert(d.dayIndex, h.text);
        if (d.dayIndex >= year.m_redTexts.count() || d.dayIndex >= year.m_redDays.count()) {
            d.action = Action::Unheld;
            decisions << d;
            continue;
        }
        d.existing = TextCodec::decode(year.m_redTexts.at(d.dayIndex));
        d.wasEveryYear = year.m_redDays.at(d.dayIndex).m_bEveryYear != 0;
        if (d.existing.isEmpty())
            d.action = Action::Add;
        else if (d.existing == h.text && d.wasEveryYear == h.everyYear)
            d.action = Action::Same;
        else
            d.action = replace ? Action::Replace : Action::Keep;
        decisions << d;
    }
    std::stable_sort(decisions.begin(), decisions.end(), [](const Decision& a, const Decision& b) {
        return a.holiday.month * 100 + a.holiday.day < b.holiday.month * 100 + b.holiday.day;
    });
    return decisions;
}
