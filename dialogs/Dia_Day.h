#pragma once

#include "ColorRef.h"
#include "DayMarkRecord.h"
#include "ProjectRecord.h"
#include "RecordList.h"
#include "StringList.h"
#include "SystemTime.h"

#include <QDialog>
#include <QString>
#include <QTime>

#include <functional>
#include <memory>

class QDateEdit;
class QPlainTextEdit;
class YearDocument;
struct DayEdit;
struct YearData;

namespace Ui {
class DayDialog;
}

// The modal dialog for one day of a year: the year's projects with the day's marks, and the day's memo,
// red-day text and alarm. It edits copies; only OK writes into the year's data, Cancel/Esc/close write
// nothing.
class CDia_Day : public QDialog
{
    Q_OBJECT

public:
    static constexpr COLORREF kDefaultColor = 0x00C8C8C8;

    // Edits the day `selected` of the document's year; OK commits through the document. The document must
    // outlive the dialog.
    CDia_Day(YearDocument& document, const SYSTEMTIME& selected, QWidget* parent = nullptr);
    // Edits the day year.m_settings.m_stSelected of `year` in place, for callers without a document.
    explicit CDia_Day(YearData& year, QWidget* parent = nullptr);
    // Edits the day `selected` of `year`; OK hands the edit to `commit` (the view's undo history), which
    // throws InvalidArgument to keep the dialog open. `year` must outlive the dialog.
    CDia_Day(const YearData& year, const SYSTEMTIME& selected, std::function<void(const DayEdit&)> commit,
             QWidget* parent);
    ~CDia_Day() override;

    // False for a date that does not exist (30 February): the view does not open the dialog for it.
    static bool isEditableDay(const SYSTEMTIME& selected);
    // The day the dialog edits for a selected day: the day itself when it exists, else the nearest real
    // day (the month's last day for 30 February), keeping the time of day when that is valid.
    static SYSTEMTIME editedDay(const SYSTEMTIME& selected);

    // OK and Enter end here: writes everything back, then closes. Stays open, writing nothing, when the
    // year's lists do not hold the edited day.
    void accept() override;

    bool alarmChanged() const { return m_alarmChanged; }

    // Lays the dialog out for a screen area of `available` (logical pixels), leaving room for the window
    // manager's title bar and borders: the designed size when it fits; else a shorter text area, down to
    // a few lines; else the groups scroll, with OK and Cancel always in view. Set-up does it for the
    // parent's screen.
    void fitInto(QSize available);
    // What the window manager is taken to add around the dialog.
    static constexpr QSize kWindowFrame{16, 48};

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Page { Memo, RedDay, Alarm };

    void nameControls();
    bool dayIsHeld() const;

    void OnInitDialog();
    bool OnOK();
    void connectHandlers();
    void fitToDialogUnits();

    void showSelectedProject();
    void toggleMark();
    void chooseColor();
    void addProject();
    void changeProject();
    void deleteProject();
    void storeMark();
    void enablePeriodPickers();
    void showPage(Page page);

    int listSelection() const;
    ProjectRecord projectFromFields() const;
    void setColor(COLORREF color);
    SYSTEMTIME alarmMoment() const;
    static bool setPicker(QDateEdit* picker, QTime* kept, const SYSTEMTIME& st);
    static SYSTEMTIME pickerTime(const QDateEdit* picker, QTime kept);
    static QByteArray storedText(const QPlainTextEdit* edit, const QString& shown,
                                 const QByteArray& original);

    bool m_alarmChanged = false;
    bool m_toldUnheld = false;
    int m_selected = -1;
    int m_dayIndex = -1;
    StringList m_names;
    RecordList<ProjectRecord> m_projects;
    RecordList<DayMarkRecord> m_dayMarks;
    const YearData& m_year;
    SYSTEMTIME m_selectedDay{};
    std::function<void(const DayEdit&)> m_commit;
    COLORREF m_color = kDefaultColor;
    std::unique_ptr<Ui::DayDialog> m_ui;
    int m_textHeight = 0; // the text area's designed height

    SYSTEMTIME m_day{}; // the edited day, with the selected day's time of day
    // Time of day each picker was last set with: its date is the user's, the time stays.
    QTime m_startTime;
    QTime m_endTime;
    // Texts as the edits showed them after set-up: an untouched text is stored back byte for byte.
    QString m_memoShown;
    QString m_redShown;
    QString m_alarmShown;
};
