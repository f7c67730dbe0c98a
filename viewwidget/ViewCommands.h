#pragma once

#include "TolvaView.h"

#include <QObject>
#include <QPointer>

class QAction;

// The year view's commands as actions for menus and the toolbar: Year +, Year -, Today and the five
// display toggles. They act on the active view, and the toggles show its state.
class ViewCommands : public QObject
{
    Q_OBJECT

public:
    enum class Command {
        YearPlus,
        YearMinus,
        Today,
        ShowDayNumbers,
        ShowSundays,
        ShowProjectLines,
        ShowMemoAlarm,
        ShowRedDays,
    };
    static constexpr int kCount = 8;

    explicit ViewCommands(QObject* parent = nullptr);

    QAction* action(Command command) const;
    // In menu order: Year +, Year -, Today, then the toggles.
    QList<QAction*> actions() const;

    // Null disables every command.
    void setActiveView(CTolvaView* view);
    CTolvaView* activeView() const { return m_view; }

private:
    void update();

    QAction* m_actions[kCount];
    QPointer<CTolvaView> m_view;
    QMetaObject::Connection m_viewConnection;
};
