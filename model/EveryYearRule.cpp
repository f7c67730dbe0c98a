#include "EveryYearRule.h"

#include "Calendar.h"

namespace EveryYearRule {

bool isOwnRedDay(const YearData& data, int dayIndex)
{
    return data.m_redDays.at(dayIndex).m_bEveryYear == 0 && !data.m_redTexts.at(dayIndex).isEmpty();
}

std::pair<RedDayRecord, QByteArray> afterRemoval(const RedDayRecord& flagged, const QByteArray& text,
                                                 const QByteArray& removedText)
{
    if (text == removedText)
        return {RedDayRecord{}, QByteArray()};
    RedDayRecord plain = flagged;
    plain.m_bEveryYear = 0;
    return {plain, text};
}

void applyForShowing(YearData& year, const ForeverRedDays& everyYear, const EveryYearRemovals& removals)
{
    const int shown = year.year();
    const auto& days = everyYear.m_foreverRedDays;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= Calendar::daysInMonth(shown, month); ++day) {
            const int d = Calendar::dayOfYear(shown, month, day);
            const int key = EveryYearRemovals::keyOf(month, day);
            if (!year.holdsDay(d) || year.m_redDays.at(d).m_bEveryYear == 0 || !removals.contains(key))
                continue;
            bool listed = false;
            for (const RedDayRecord& entry : days)
                listed =
                    listed || EveryYearRemovals::keyOf(entry.m_stDate.wMonth, entry.m_stDate.wDay) == key;
            if (listed)
                continue;
            auto [record, text] =
                afterRemoval(year.m_redDays.at(d), year.m_redTexts.at(d), removals.textOf(key));
            year.m_redDays.at(d) = record;
            year.m_redTexts.setAt(d, text);
        }
    }
    forEachPlacement(year, everyYear, [&year](int d, const RedDayRecord& entry, const QByteArray& text) {
        year.m_redDays.at(d) = entry;
        year.m_redTexts.setAt(d, text);
    });
}

void forEachPlacement(const YearData& year, const ForeverRedDays& everyYear,
                      const std::function<void(int, const RedDayRecord&, const QByteArray&)>& place)
{
    const auto& days = everyYear.m_foreverRedDays;
    const auto& texts = everyYear.m_foreverRedTexts;
    for (qsizetype i = 0; i < days.count(); ++i) {
        const RedDayRecord& entry = days.at(i);
        // Entries this year has no day for (29 February in a common year) stay in the list untouched.
        const int d = Calendar::dayOfYear(year.year(), entry.m_stDate.wMonth, entry.m_stDate.wDay);
        if (d > 0 && year.holdsDay(d) && !isOwnRedDay(year, d))
            place(d, entry, i < texts.count() ? texts.at(i) : QByteArray());
    }
}

} // namespace EveryYearRule
