#include "AlarmCheck.h"

#include "Calendar.h"
#include "TextCodec.h"
#include "YearData.h"

std::optional<int> AlarmCheck::firstDue(const YearData& year, const SYSTEMTIME& now)
{
    if (!Calendar::isValidDateTime(now))
        return std::nullopt;
    const std::int64_t current = Calendar::serialSeconds(now);
    for (qsizetype i = 0; i < year.m_alarms.count(); ++i) {
        const AlarmRecord& alarm = year.m_alarms.at(i);
        // An alarm switched off (its text cleared) stays quiet, even when it had not fired yet.
        if (alarm.m_bFired != 0 || alarm.m_bOn == 0 || alarm.m_stWhen.wYear == 0)
            continue;
        if (!Calendar::isValidDateTime(alarm.m_stWhen))
            continue;
        if (current >= Calendar::serialSeconds(alarm.m_stWhen))
            return int(i);
    }
    return std::nullopt;
}

bool AlarmCheck::hasPending(const YearData& year)
{
    for (const AlarmRecord& alarm : year.m_alarms)
        if (alarm.m_bFired == 0 && alarm.m_bOn != 0 && Calendar::isValidDateTime(alarm.m_stWhen))
            return true;
    return false;
}

QString AlarmCheck::message(const YearData& year, int dayIndex)
{
    const SYSTEMTIME& when = year.m_alarms.at(dayIndex).m_stWhen;
    return QStringLiteral("%1\n\n%2")
        .arg(Calendar::format(when, "%H:%M   %A, %B %d, %Y"),
             TextCodec::decode(year.m_alarmTexts.at(dayIndex)));
}
