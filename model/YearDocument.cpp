#include "YearDocument.h"

#include "Calendar.h"
#include "DataStore.h"
#include "DayEdit.h"
#include "InvalidArgument.h"
#include "ProjectList.h"

#include <string>

YearDocument::YearDocument(const DataStore& store, int year, QObject* parent)
    : QObject(parent), m_store(store), m_year(year)
{
    m_data.reset();
    m_data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
}

StoreResult YearDocument::load(const DisplaySettings& defaults)
{
    m_data.reset();
    m_data.m_settings.m_stSelected = Calendar::makeDate(m_year, 1, 1);
    // The store reports memory running out as damage; the year asked for stays the one shown.
    const StoreResult result = m_store.loadYear(m_data, defaults);
    m_unsaved = false;
    m_loadResult = result;
    emit changed();
    return result;
}

StoreResult YearDocument::save()
{
    // Only what the user changed is written: looking at a year writes nothing, also where nothing can be.
    if (!m_unsaved) {
        StoreResult untouched;
        untouched.path = m_store.yearPath(m_year);
        return untouched;
    }
    QString keptAs;
    if (m_loadResult.leftUnread) {
        // What is shown is not what the file holds: a change goes to disk only after the file's bytes are
        // out of the way.
        const StoreResult aside = DataStore::moveUnreadFileAside(m_store.yearPath(m_year));
        if (!aside.ok())
            return aside;
        keptAs = aside.keptAs;
    }
    StoreResult result = m_store.saveYear(m_data);
    m_unsaved = !result.ok();
    if (keptAs.isEmpty())
        return result;
    if (result.ok() || DataStore::moveBackAfterFailedSave(keptAs, result)) {
        m_loadResult.leftUnread = !result.ok();
        m_loadResult.keptAs = result.ok() ? keptAs : QString();
    } else {
        // The year's bytes now sit in the copy only; the next save writes the file without moving it.
        m_loadResult.leftUnread = false;
        m_loadResult.keptAs = keptAs;
    }
    return result;
}

void YearDocument::noteViewChange()
{
    // A display option the user switched is kept with the year, as the last view left it.
    m_unsaved = true;
}

void YearDocument::setViewSettings(const DisplaySettings& settings)
{
    // The year shown is this document's, whatever the view's record says.
    m_data.m_settings = settings;
    m_data.m_settings.m_stSelected.wYear = std::uint16_t(m_year);
}

void YearDocument::edited()
{
    m_unsaved = true;
    emit changed();
}

bool YearDocument::holdsDay(int dayIndex) const
{
    return m_data.holdsDay(dayIndex);
}

void YearDocument::checkDayIndex(int dayIndex) const
{
    if (!holdsDay(dayIndex))
        throwInvalidArgument("day " + std::to_string(dayIndex) + " is not held by the lists of year " +
                             std::to_string(m_year));
}

qsizetype YearDocument::appendProject(const ProjectRecord& project, const QByteArray& name)
{
    const qsizetype position =
        ProjectList(m_data.m_projects, m_data.m_names, m_data.m_dayMarks).append(project, name);
    edited();
    return position;
}

void YearDocument::replaceProject(qsizetype position, const ProjectRecord& project, const QByteArray& name)
{
    ProjectList(m_data.m_projects, m_data.m_names, m_data.m_dayMarks).replace(position, project, name);
    edited();
}

void YearDocument::removeProject(qsizetype position)
{
    ProjectList(m_data.m_projects, m_data.m_names, m_data.m_dayMarks).remove(position);
    edited();
}

void YearDocument::setMarked(int dayIndex, qsizetype position, bool marked)
{
    ProjectList(m_data.m_projects, m_data.m_names, m_data.m_dayMarks).setMarked(dayIndex, position, marked);
    edited();
}

void YearDocument::setMemo(int dayIndex, const QByteArray& memo)
{
    checkDayIndex(dayIndex);
    m_data.m_memos.setAt(dayIndex, memo);
    edited();
}

void YearDocument::setRedDay(int dayIndex, const RedDayRecord& record, const QByteArray& text)
{
    checkDayIndex(dayIndex);
    const bool wasEveryYear = m_data.m_redDays.at(dayIndex).m_bEveryYear != 0;
    m_data.m_redDays.at(dayIndex) = record;
    m_data.m_redTexts.setAt(dayIndex, text);
    edited();
    noteRedDayEdit(dayIndex, wasEveryYear);
}

void YearDocument::placeEveryYearDay(int dayIndex, const RedDayRecord& record, const QByteArray& text)
{
    checkDayIndex(dayIndex);
    m_data.m_redDays.at(dayIndex) = record;
    m_data.m_redTexts.setAt(dayIndex, text);
    // The every-year list's copy, no edit of this year's: nothing to save for it.
    emit changed();
}

void YearDocument::setAlarm(int dayIndex, const AlarmRecord& alarm, const QByteArray& text)
{
    checkDayIndex(dayIndex);
    m_data.m_alarms.at(dayIndex) = alarm;
    m_data.m_alarmTexts.setAt(dayIndex, text);
    edited();
}

void YearDocument::markAlarmFired(int dayIndex)
{
    checkDayIndex(dayIndex);
    m_data.m_alarms.at(dayIndex).m_bFired = 1;
    edited();
}

void YearDocument::commitDay(const DayEdit& edit)
{
    const int day = edit.dayIndex;
    const bool wasEveryYear = m_data.m_redDays.at(day).m_bEveryYear != 0;
    const QByteArray oldRedText = m_data.m_redTexts.at(day);
    edit.applyTo(m_data);
    edited();
    if (oldRedText != edit.redText || edit.redDay)
        noteRedDayEdit(day, wasEveryYear);
}

void YearDocument::noteRedDayEdit(int dayIndex, bool wasEveryYear)
{
    if (wasEveryYear || m_data.m_redDays.at(dayIndex).m_bEveryYear != 0)
        emit everyYearEdited(dayIndex);
}
