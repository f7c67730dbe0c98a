#pragma once

#include "Calendar.h"
#include "SystemTime.h"

#include <QByteArray>
#include <QString>

// Moments as the records store them, and readable failures for QCOMPARE on them.
namespace TestSupport {

inline SYSTEMTIME moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    SYSTEMTIME st = Calendar::makeDate(year, month, day);
    st.wHour = std::uint16_t(hour);
    st.wMinute = std::uint16_t(minute);
    st.wSecond = std::uint16_t(second);
    return st;
}

} // namespace TestSupport

inline char* toString(const SYSTEMTIME& st)
{
    return qstrdup(QStringLiteral("%1-%2-%3 (dow %4) %5:%6:%7.%8")
                       .arg(st.wYear)
                       .arg(st.wMonth)
                       .arg(st.wDay)
                       .arg(st.wDayOfWeek)
                       .arg(st.wHour)
                       .arg(st.wMinute)
                       .arg(st.wSecond)
                       .arg(st.wMilliseconds)
                       .toLatin1()
                       .constData());
}
