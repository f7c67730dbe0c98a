#pragma once

#include "DisplaySettings.h"
#include "SystemTime.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class CDia_Day;
class Clock;
class PaintResources;
class QMessageBox;
class YearDocument;
class YearRegistry;

// The year window's content: one year of the shared YearDocument painted whole, a selected day moved by
// mouse and keys, the Day dialog on a double click or Enter, and the year's alarms checked once a second.
// The view keeps its own settings (display toggles, selected day); the year's data belongs to the
// document, which every view of that year shares.
class CTolvaView : public QWidget
{
    Q_OBJECT

public:
    enum class Toggle { DayNumbers, Sundays, ProjectLines, MemoAlarm, RedDays };

    explicit CTolvaView(YearRegistry& registry, const Clock& clock, QWidget* parent = nullptr);
    // Saves the shown year (the registry writes it and the every-year red days when this was its last view).
    ~CTolvaView() override;

    // Shows the current local year with today selected.
    void OnInitialUpdate();
    // Saves nothing and does not repaint; callers do both.
    void ShowYear(int year);

    int shownYear() const;
    const DisplaySettings& settings() const { return m_settings; }
    const SYSTEMTIME& selectedDay() const { return m_settings.m_stSelected; }
    YearDocument* document() const { return m_document.get(); }
    const PaintResources& paintResources() const { return *m_resources; }
    // Makes the pen and fonts again from the settings they came from (the fonts' sizes were found again).
    void remakePaintResources();
    bool isToggleOn(Toggle toggle) const;
    // The alarm message boxes still open.
    QList<QMessageBox*> openAlarmBoxes() const;

    // Paints the year as the window shows it, on any surface of the given extent (printing, images).
    void paintYear(QPainter& painter, QSize extent) const;

public slots:
    void OnYearPlus();
    void OnYearMinus();
    void OnToday();
    // Shows `year` (saving the year left) and selects the day; a day past the month's end selects its last.
    void showDate(int year, int month, int day);
    void flipToggle(CTolvaView::Toggle toggle);
    // The Day dialog for the selected day; true when it was confirmed.
    bool editSelectedDay();
    // The Day dialog while it is open, else null.
    CDia_Day* openDayDialog() const;
    // Ends an open Day dialog from outside (its window closes, the program stops): what was typed is
    // stored as OK would store it. Nothing happens without an open dialog.
    void finishDayDialog();
    // One alarm check, as the timer does each second.
    void checkAlarms();
    // Saves the shown year now (after an undo or redo step, as after the Day dialog's OK).
    void saveYear() { saveShownYear(); }

signals:
    // For pane 0 of the status bar.
    void statusTextChanged(const QString& text);
    // The year's number, set after every paint.
    void titleChanged(const QString& title);
    // The shown year, the selected day or a toggle changed.
    void stateChanged();
    // An alarm fired and its box is up (for a desktop notification).
    void alarmShown(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void stepYear(int delta);
    bool cellAt(QPoint pos, int& month, int& day) const;
    // Selects the cell under `pos` and repaints; false (nothing changed) outside the cells.
    bool selectCellAt(QPoint pos);
    // Tells assistive technology which cell the selection is on.
    void notifySelection();
    void selectDay(int month, int day);
    void repaintAll();
    void saveShownYear();
    void forceTogglesOn();
    std::uint8_t& toggleByte(Toggle toggle);

    YearRegistry& m_registry;
    const Clock& m_clock;
    std::shared_ptr<YearDocument> m_document;
    DisplaySettings m_settings{};
    std::unique_ptr<PaintResources> m_resources;
    std::unique_ptr<DisplaySettings> m_resourceSettings; // what m_resources were made from
    QTimer m_alarmTimer;
    QList<QPointer<QMessageBox>> m_alarmBoxes;
    QPointer<CDia_Day> m_dayDialog;
};
