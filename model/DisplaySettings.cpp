#include "DisplaySettings.h"

#include <cstring>

namespace {

LOGFONTA arialFont(std::int32_t height, std::int32_t weight)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::memcpy(lf.lfFaceName, "Arial", 6); // five characters and the terminating zero; the rest stays zero
    return lf;
}

} // namespace

DisplaySettings DisplaySettings::builtInDefaults(const SYSTEMTIME& now)
{
    DisplaySettings s{};
    s.m_bShowDayNumbers = 1;
    s.m_bShowStatusInfo = 1;
    s.m_nMargin = 15;
    s.m_nTop = 50;
    s.m_nProjectX = 15;
    s.m_nProjectPitch = 4;
    s.m_nMarkerX = 1;
    s.m_nMarkerY = 1;
    s.m_nMarkerWidth = 2;
    s.m_nMarkerHeight = 3;
    s.m_nDayNumberX = 5;
    s.m_nDayNumberY = 0;
    s.m_crGrid = 0x00C8C8C8;
    s.m_crReserved136 = 0x00FFFFFF;
    s.m_crBackground = 0x00FFFFFF;
    s.m_crSunday = 0x00C8C8FF;
    s.m_crNoDay = 0x00C8C8C8;
    s.m_crSelected = 0x0000FFFF;
    s.m_crYear = 0x00FF0000;
    s.m_crDayNumber = 0;
    s.m_crMonth = 0;
    s.m_lfYear = arialFont(30, 700);
    s.m_lfDay = arialFont(10, 700);
    s.m_lfMonth = arialFont(14, 400);
    s.m_stSelected = now;
    return s;
}

void DisplaySettings::clearLinkSlots()
{
    m_pGridPen = m_pYearFont = m_pDayFont = m_pMonthFont = 0;
    m_pMemos = m_pAlarmTexts = m_pRedTexts = m_pDayMarks = m_pRedDays = m_pProjects = m_pAlarms = 0;
}
