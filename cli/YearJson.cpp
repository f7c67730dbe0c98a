#include "YearJson.h"

#include "Calendar.h"
#include "ForeverRedDays.h"
#include "TextCodec.h"
#include "YearData.h"

#include <QJsonArray>

#include <cstring>

namespace {

QString colourText(COLORREF c)
{
    return QStringLiteral("#%1%2%3")
        .arg(colorRefRed(c), 2, 16, QLatin1Char('0'))
        .arg(colorRefGreen(c), 2, 16, QLatin1Char('0'))
        .arg(colorRefBlue(c), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QJsonObject fontJson(const LOGFONTA& lf)
{
    // The face name is 8-bit text, zero-terminated unless all 32 bytes are used.
    const QByteArray face(lf.lfFaceName, int(strnlen(lf.lfFaceName, sizeof lf.lfFaceName)));
    return QJsonObject{
        {QStringLiteral("faceName"), TextCodec::decode(face)},
        {QStringLiteral("height"), lf.lfHeight},
        {QStringLiteral("width"), lf.lfWidth},
        {QStringLiteral("escapement"), lf.lfEscapement},
        {QStringLiteral("orientation"), lf.lfOrientation},
        {QStringLiteral("weight"), lf.lfWeight},
        {QStringLiteral("italic"), lf.lfItalic},
        {QStringLiteral("underline"), lf.lfUnderline},
        {QStringLiteral("strikeOut"), lf.lfStrikeOut},
        {QStringLiteral("charSet"), lf.lfCharSet},
        {QStringLiteral("outPrecision"), lf.lfOutPrecision},
        {QStringLiteral("clipPrecision"), lf.lfClipPrecision},
        {QStringLiteral("quality"), lf.lfQuality},
        {QStringLiteral("pitchAndFamily"), lf.lfPitchAndFamily},
    };
}

QString dateText(int year, int month, int day)
{
    return QStringLiteral("%1-%2-%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

QString textAt(const StringList& list, qsizetype i)
{
    return i < list.count() ? TextCodec::decode(list.at(i)) : QString();
}

} // namespace

QString YearJson::momentText(const SYSTEMTIME& st)
{
    QString text = dateText(st.wYear, st.wMonth, st.wDay) + QStringLiteral("T%1:%2:%3")
                                                                .arg(st.wHour, 2, 10, QLatin1Char('0'))
                                                                .arg(st.wMinute, 2, 10, QLatin1Char('0'))
                                                                .arg(st.wSecond, 2, 10, QLatin1Char('0'));
    if (st.wMilliseconds != 0)
        text += QStringLiteral(".%1").arg(st.wMilliseconds, 3, 10, QLatin1Char('0'));
    return text;
}

QJsonObject YearJson::settingsToJson(const DisplaySettings& s)
{
    return QJsonObject{
        {QStringLiteral("m_bShowDayNumbers"), s.m_bShowDayNumbers},
        {QStringLiteral("m_bShowSundays"), s.m_bShowSundays},
        {QStringLiteral("m_bShowMemoAlarm"), s.m_bShowMemoAlarm},
        {QStringLiteral("m_bShowProjectLines"), s.m_bShowProjectLines},
        {QStringLiteral("m_bShowRedDays"), s.m_bShowRedDays},
        {QStringLiteral("m_bShowStatusInfo"), s.m_bShowStatusInfo},
        {QStringLiteral("m_nMargin"), s.m_nMargin},
        {QStringLiteral("m_nTop"), s.m_nTop},
        {QStringLiteral("m_nProjectX"), s.m_nProjectX},
        {QStringLiteral("m_nProjectPitch"), s.m_nProjectPitch},
        {QStringLiteral("m_nMarkerX"), s.m_nMarkerX},
        {QStringLiteral("m_nMarkerY"), s.m_nMarkerY},
        {QStringLiteral("m_nMarkerWidth"), s.m_nMarkerWidth},
        {QStringLiteral("m_nMarkerHeight"), s.m_nMarkerHeight},
        {QStringLiteral("m_nDayNumberX"), s.m_nDayNumberX},
        {QStringLiteral("m_nDayNumberY"), s.m_nDayNumberY},
        {QStringLiteral("m_crGrid"), colourText(s.m_crGrid)},
        {QStringLiteral("m_crBackground"), colourText(s.m_crBackground)},
        {QStringLiteral("m_crSunday"), colourText(s.m_crSunday)},
        {QStringLiteral("m_crNoDay"), colourText(s.m_crNoDay)},
        {QStringLiteral("m_crSelected"), colourText(s.m_crSelected)},
        {QStringLiteral("m_crYear"), colourText(s.m_crYear)},
        {QStringLiteral("m_crDayNumber"), colourText(s.m_crDayNumber)},
        {QStringLiteral("m_crMonth"), colourText(s.m_crMonth)},
        {QStringLiteral("m_lfYear"), fontJson(s.m_lfYear)},
        {QStringLiteral("m_lfDay"), fontJson(s.m_lfDay)},
        {QStringLiteral("m_lfMonth"), fontJson(s.m_lfMonth)},
        {QStringLiteral("m_stSelected"), momentText(s.m_stSelected)},
    };
}

QJsonObject YearJson::toJson(const YearData& year, const SYSTEMTIME& selected,
                             const ForeverRedDays& everyYear)
{
    const int shown = year.year();
    DisplaySettings settings = year.m_settings;
    settings.m_stSelected = selected;

    QJsonArray projects;
    for (qsizetype i = 0; i < year.m_projects.count(); ++i) {
        const ProjectRecord& p = year.m_projects.at(i);
        projects.append(QJsonObject{
            {QStringLiteral("position"), int(i)},
            {QStringLiteral("name"), textAt(year.m_names, i)},
            {QStringLiteral("start"), momentText(p.m_stStart)},
            {QStringLiteral("end"), momentText(p.m_stEnd)},
            {QStringLiteral("color"), colourText(p.m_crColor)},
            {QStringLiteral("longLine"), p.m_bLongLine != 0},
        });
    }

    QJsonArray days;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= Calendar::daysInMonth(shown, month); ++day) {
            const int n = Calendar::dayOfYear(shown, month, day);
            QJsonObject entry;
            if (n < year.m_memos.count() && !year.m_memos.at(n).isEmpty())
                entry.insert(QStringLiteral("memo"), textAt(year.m_memos, n));
            if (n < year.m_alarms.count()) {
                const AlarmRecord& a = year.m_alarms.at(n);
                const QString text = textAt(year.m_alarmTexts, n);
                if (a.m_bOn || a.m_bFired || a.m_stWhen.wYear != 0 || !text.isEmpty())
                    entry.insert(QStringLiteral("alarm"),
                                 QJsonObject{
                                     {QStringLiteral("when"), momentText(a.m_stWhen)},
                                     {QStringLiteral("on"), a.m_bOn != 0},
                                     {QStringLiteral("fired"), a.m_bFired != 0},
                                     {QStringLiteral("text"), text},
                                 });
            }
            if (n < year.m_redDays.count()) {
                const RedDayRecord& r = year.m_redDays.at(n);
                const QString text = textAt(year.m_redTexts, n);
                if (r.m_bEveryYear || !text.isEmpty())
                    entry.insert(QStringLiteral("redDay"),
                                 QJsonObject{
                                     {QStringLiteral("text"), text},
                                     {QStringLiteral("everyYear"), r.m_bEveryYear != 0},
                                 });
            }
            if (n < year.m_dayMarks.count()) {
                QJsonArray marked;
                const DayMarkRecord& marks = year.m_dayMarks.at(n);
                for (int k = 0; k < DayMarkRecord::kMaxProjects; ++k)
                    if (marks.m_bChecked[k])
                        marked.append(k);
                if (!marked.isEmpty())
                    entry.insert(QStringLiteral("projects"), marked);
            }
            if (entry.isEmpty())
                continue;
            entry.insert(QStringLiteral("date"), dateText(shown, month, day));
            days.append(entry);
        }
    }

    QJsonArray everyYearDays;
    for (qsizetype i = 0; i < everyYear.m_foreverRedDays.count(); ++i) {
        const RedDayRecord& r = everyYear.m_foreverRedDays.at(i);
        everyYearDays.append(QJsonObject{
            {QStringLiteral("month"), r.m_stDate.wMonth},
            {QStringLiteral("day"), r.m_stDate.wDay},
            {QStringLiteral("text"), textAt(everyYear.m_foreverRedTexts, i)},
        });
    }

    return QJsonObject{
        {QStringLiteral("year"), shown},
        {QStringLiteral("settings"), settingsToJson(settings)},
        {QStringLiteral("projects"), projects},
        {QStringLiteral("days"), days},
        {QStringLiteral("everyYearRedDays"), everyYearDays},
    };
}
