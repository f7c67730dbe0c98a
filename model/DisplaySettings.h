#pragma once

#include "ColorRef.h"
#include "LogFont.h"
#include "SystemTime.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// How a year is drawn, and the selected day. Stored raw (1540 bytes) as the first item of a year file and
// as the whole defaults file. The eleven m_p* fields are 4-byte slots kept only so that the image keeps
// its layout: their content has no meaning, a reader ignores it and a writer stores zero. The pen, fonts
// and lists they once pointed to are handed to the painter and the dialog directly.
struct DisplaySettings
{
    std::uint8_t m_bShowDayNumbers;
    std::uint8_t m_bShowSundays; // fills Saturdays too
    std::uint8_t m_bShowMemoAlarm;
    std::uint8_t m_bShowProjectLines;
    std::uint8_t m_bShowRedDays;
    std::uint8_t m_bShowStatusInfo;
    std::uint8_t m_reserved6[2];
    std::int32_t m_nMargin;
    std::int32_t m_nTop;
    std::int32_t m_nProjectX;
    std::int32_t m_nProjectPitch;
    std::int32_t m_nMarkerX;
    std::int32_t m_nMarkerY;
    std::int32_t m_nMarkerWidth;
    std::int32_t m_nMarkerHeight;
    std::int32_t m_nDayNumberX;
    std::int32_t m_nDayNumberY;
    std::uint32_t m_pGridPen;
    std::uint32_t m_pYearFont;
    std::uint32_t m_pDayFont;
    std::uint32_t m_pMonthFont;
    std::uint8_t m_reserved64[68];
    COLORREF m_crGrid;
    COLORREF m_crReserved136; // never read
    COLORREF m_crBackground;
    COLORREF m_crSunday;
    COLORREF m_crNoDay;
    COLORREF m_crSelected;
    std::uint8_t m_reserved156[60];
    COLORREF m_crYear;
    COLORREF m_crDayNumber;
    COLORREF m_crMonth;
    std::uint8_t m_reserved228[68];
    LOGFONTA m_lfYear;
    LOGFONTA m_lfDay;
    LOGFONTA m_lfMonth;
    std::uint8_t m_reserved476[1020];
    SYSTEMTIME m_stSelected; // wYear: the year shown; wMonth/wDay: the selected cell
    std::uint32_t m_pMemos;
    std::uint32_t m_pAlarmTexts;
    std::uint32_t m_pRedTexts;
    std::uint32_t m_pDayMarks;
    std::uint32_t m_pRedDays;
    std::uint32_t m_pProjects;
    std::uint32_t m_pAlarms;

    // The built-in defaults, with m_stSelected set to the given moment (UTC at the time they are built).
    static DisplaySettings builtInDefaults(const SYSTEMTIME& now);
    // Zeroes the eleven link slots, so that a saved image carries no stale values.
    void clearLinkSlots();
};

static_assert(std::is_trivially_copyable_v<DisplaySettings> && std::is_standard_layout_v<DisplaySettings>);
static_assert(sizeof(DisplaySettings) == 1540);
static_assert(offsetof(DisplaySettings, m_bShowDayNumbers) == 0);
static_assert(offsetof(DisplaySettings, m_bShowSundays) == 1);
static_assert(offsetof(DisplaySettings, m_bShowMemoAlarm) == 2);
static_assert(offsetof(DisplaySettings, m_bShowProjectLines) == 3);
static_assert(offsetof(DisplaySettings, m_bShowRedDays) == 4);
static_assert(offsetof(DisplaySettings, m_bShowStatusInfo) == 5);
static_assert(offsetof(DisplaySettings, m_nMargin) == 8);
static_assert(offsetof(DisplaySettings, m_nTop) == 12);
static_assert(offsetof(DisplaySettings, m_nProjectX) == 16);
static_assert(offsetof(DisplaySettings, m_nProjectPitch) == 20);
static_assert(offsetof(DisplaySettings, m_nMarkerX) == 24);
static_assert(offsetof(DisplaySettings, m_nMarkerY) == 28);
static_assert(offsetof(DisplaySettings, m_nMarkerWidth) == 32);
static_assert(offsetof(DisplaySettings, m_nMarkerHeight) == 36);
static_assert(offsetof(DisplaySettings, m_nDayNumberX) == 40);
static_assert(offsetof(DisplaySettings, m_nDayNumberY) == 44);
static_assert(offsetof(DisplaySettings, m_pGridPen) == 48);
static_assert(offsetof(DisplaySettings, m_pYearFont) == 52);
static_assert(offsetof(DisplaySettings, m_pDayFont) == 56);
static_assert(offsetof(DisplaySettings, m_pMonthFont) == 60);
static_assert(offsetof(DisplaySettings, m_reserved64) == 64);
static_assert(offsetof(DisplaySettings, m_crGrid) == 132);
static_assert(offsetof(DisplaySettings, m_crReserved136) == 136);
static_assert(offsetof(DisplaySettings, m_crBackground) == 140);
static_assert(offsetof(DisplaySettings, m_crSunday) == 144);
static_assert(offsetof(DisplaySettings, m_crNoDay) == 148);
static_assert(offsetof(DisplaySettings, m_crSelected) == 152);
static_assert(offsetof(DisplaySettings, m_reserved156) == 156);
static_assert(offsetof(DisplaySettings, m_crYear) == 216);
static_assert(offsetof(DisplaySettings, m_crDayNumber) == 220);
static_assert(offsetof(DisplaySettings, m_crMonth) == 224);
static_assert(offsetof(DisplaySettings, m_reserved228) == 228);
static_assert(offsetof(DisplaySettings, m_lfYear) == 296);
static_assert(offsetof(DisplaySettings, m_lfDay) == 356);
static_assert(offsetof(DisplaySettings, m_lfMonth) == 416);
static_assert(offsetof(DisplaySettings, m_reserved476) == 476);
static_assert(offsetof(DisplaySettings, m_stSelected) == 1496);
static_assert(offsetof(DisplaySettings, m_pMemos) == 1512);
static_assert(offsetof(DisplaySettings, m_pAlarmTexts) == 1516);
static_assert(offsetof(DisplaySettings, m_pRedTexts) == 1520);
static_assert(offsetof(DisplaySettings, m_pDayMarks) == 1524);
static_assert(offsetof(DisplaySettings, m_pRedDays) == 1528);
static_assert(offsetof(DisplaySettings, m_pProjects) == 1532);
static_assert(offsetof(DisplaySettings, m_pAlarms) == 1536);
