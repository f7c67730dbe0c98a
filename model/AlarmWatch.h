#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class Clock;
class YearDocument;
class YearRegistry;

// Today's alarms whatever the windows show: once a second it checks the current year's alarms when no
// window shows that year (windows check their own). The year's file is looked at read-only whenever it
// changed; only while an alarm of it is pending is the year's document held open in the registry, so that
// the check and its fired mark work on the one shared copy. Each alarm fires once: marked fired and saved
// before alarmDue() is emitted.
class AlarmWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPeriodMs = 1000;

    AlarmWatch(YearRegistry& registry, const Clock& clock, QObject* parent = nullptr);
    // Lets go of the held year (the registry saves it) before the registry goes.
    ~AlarmWatch() override;

    // Whether a window shows `year`; without it no window does.
    void setShownByWindow(std::function<bool(int year)> shown) { m_shownByWindow = std::move(shown); }
    YearDocument* heldYear() const { return m_held.get(); }

    // One check, as the timer does each second.
    void check();

signals:
    // The message of a due alarm (time line, empty line, text), after it was marked fired and saved.
    void alarmDue(const QString& message);

private:
    YearDocument* pendingYear(int year);
    void letGo(int year);
    QString fileStamp(int year) const;

    YearRegistry& m_registry;
    const Clock& m_clock;
    QTimer m_timer;
    std::function<bool(int)> m_shownByWindow;
    std::shared_ptr<YearDocument> m_held;
    int m_lookedAtYear = 0;
    QString m_lookedAtStamp; // the file's size and time when it was last looked at
};
