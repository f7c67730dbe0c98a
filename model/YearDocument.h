#pragma once

#include "AlarmRecord.h"
#include "RedDayRecord.h"
#include "StoreResult.h"
#include "YearData.h"

#include <QObject>

class DataStore;
struct DayEdit;

// The one copy of a calendar year's data in the process, shared by every window and command that works on
// that year (see YearRegistry). Edits go through here: each checks every index before it changes anything,
// marks the year as unsaved and emits changed(), so every view of the year repaints. Saving is the
// caller's decision (YearRegistry::save).
class YearDocument : public QObject
{
    Q_OBJECT

public:
    YearDocument(const DataStore& store, int year, QObject* parent = nullptr);

    int year() const { return m_year; }
    const YearData& data() const { return m_data; }
    bool isUnsaved() const { return m_unsaved; }
    // What the last load found: a damaged file names where its copy was kept.
    const StoreResult& loadResult() const { return m_loadResult; }

    // Replaces everything with the year's file (or `defaults` and empty lists when it has none). The
    // settings' selected day is 1 January of the year until a view says otherwise.
    StoreResult load(const DisplaySettings& defaults);
    // Writes the year's file when something was changed since it was loaded or saved; otherwise nothing.
    // After a failure the year stays unsaved, so the next save tries again. A file the load left unread is
    // not written over: it is first moved aside (and the save fails when it cannot be), and moved back
    // when the save then fails.
    StoreResult save();

    // What a view shows (toggles, selected day) is stored with the year as the last view left it. Not an
    // edit: nothing repaints.
    void setViewSettings(const DisplaySettings& settings);
    // A display toggle switched by the user: the settings are worth a save.
    void noteViewChange();

    qsizetype appendProject(const ProjectRecord& project, const QByteArray& name);
    void replaceProject(qsizetype position, const ProjectRecord& project, const QByteArray& name);
    void removeProject(qsizetype position);
    void setMarked(int dayIndex, qsizetype position, bool marked);
    void setMemo(int dayIndex, const QByteArray& memo);
    void setRedDay(int dayIndex, const RedDayRecord& record, const QByteArray& text);
    void setAlarm(int dayIndex, const AlarmRecord& alarm, const QByteArray& text);
    void markAlarmFired(int dayIndex);
    // The Day dialog's OK. Writes nothing when the edit does not fit the year's lists.
    void commitDay(const DayEdit& edit);

    // Throws InvalidArgument unless every per-day list holds `dayIndex`.
    void checkDayIndex(int dayIndex) const;
    // Whether every per-day list holds `dayIndex` (a damaged file can leave them short).
    bool holdsDay(int dayIndex) const;

    // An every-year red day placed or removed by YearRegistry: sets the day's record and text without
    // reporting it back as an every-year edit, and without making the year unsaved.
    void placeEveryYearDay(int dayIndex, const RedDayRecord& record, const QByteArray& text);

signals:
    void changed();
    // A red day that repeats every year was set, changed or removed on this day by an edit.
    void everyYearEdited(int dayIndex);

private:
    void edited();
    void noteRedDayEdit(int dayIndex, bool wasEveryYear);

    const DataStore& m_store;
    int m_year;
    YearData m_data;
    bool m_unsaved = false;
    StoreResult m_loadResult;
};
