#include "YearPainter.h"

#include "AlarmCheck.h"
#include "Clock.h"
#include "YearDocument.h"

QString CYearPainter::CheckAlarms(YearDocument& document, const Clock& clock) const
{
    const std::optional<int> due = AlarmCheck::firstDue(document.data(), clock.nowLocal());
    if (!due)
        return QString();
    const QString message = AlarmCheck::message(document.data(), *due);
    document.markAlarmFired(*due);
    return message;
}
