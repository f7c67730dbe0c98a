#include "ForeverRedDays.h"

#include "Calendar.h"
#include "YearData.h"

#include <utility>
#include <vector>

namespace {

// A leap year: every month and day that exists in some year exists in it.
constexpr int kLeapYear = 2000;

int monthDayKey(const RedDayRecord& r)
{
    return r.m_stDate.wMonth * 100 + r.m_stDate.wDay;
}

} // namespace

void ForeverRedDays::clear()
{
    m_foreverRedDays.clear();
    m_foreverRedTexts.clear();
    m_keptDays.clear();
    m_keptTexts.clear();
}

int ForeverRedDays::mergeInto(YearData& year)
{
    m_keptDays.clear();
    m_keptTexts.clear();
    int damaged = m_foreverRedTexts.count() > m_foreverRedDays.count() ? 1 : 0;
    for (qsizetype i = 0; i < m_foreverRedDays.count(); ++i) {
        const RedDayRecord& entry = m_foreverRedDays.at(i);
        const int month = entry.m_stDate.wMonth;
        const int day = entry.m_stDate.wDay;
        if (!Calendar::isValidDate(kLeapYear, month, day)) {
            ++damaged;
            continue;
        }
        QByteArray text;
        if (i < m_foreverRedTexts.count())
            text = m_foreverRedTexts.at(i);
        else
            ++damaged;
        const int d = Calendar::dayOfYear(year.year(), month, day);
        if (d >= 0 && d < year.m_redDays.count() && d < year.m_redTexts.count()) {
            year.m_redDays.at(d) = entry;
            year.m_redTexts.setAt(d, text);
        } else {
            m_keptDays.append(entry);
            m_keptTexts.append(text);
        }
    }
    return damaged;
}

void ForeverRedDays::collectFrom(const YearData& year)
{
    std::vector<std::pair<RedDayRecord, QByteArray>> entries;
    for (qsizetype i = 0; i < year.m_redDays.count(); ++i) {
        const RedDayRecord& r = year.m_redDays.at(i);
        if (r.m_bEveryYear)
            entries.emplace_back(r, i < year.m_redTexts.count() ? year.m_redTexts.at(i) : QByteArray());
    }
    for (qsizetype k = 0; k < m_keptDays.count(); ++k) {
        const RedDayRecord& r = m_keptDays.at(k);
        auto at = entries.begin();
        while (at != entries.end() && monthDayKey(at->first) <= monthDayKey(r))
            ++at;
        entries.emplace(at, r, k < m_keptTexts.count() ? m_keptTexts.at(k) : QByteArray());
    }
    m_foreverRedDays.clear();
    m_foreverRedTexts.clear();
    for (const auto& [record, text] : entries) {
        m_foreverRedDays.append(record);
        m_foreverRedTexts.append(text);
    }
}
