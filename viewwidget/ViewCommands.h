#pragma once

#include "TolvaView.h"

#include <QObject>
#include <QPointer>
#include <QUndoGroup>

class QAction;

// The year view's commands as actions for menus and the toolbar: Year +, Year -, Today and the five
// display toggles. They act on the active view, and the toggles show its state. Undo and Redo act on the
// history of the active view's year and name its next step.
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
    // "Undo" (Ctrl+Z) and "Redo" (Ctrl+Shift+Z, Ctrl+Y).
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }

    // Null disables every command.
    void setActiveView(CTolvaView* view);
    CTolvaView* activeView() const { return m_view; }

private:
    void update();

    QAction* m_actions[kCount];
    QUndoGroup m_history;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QPointer<CTolvaView> m_view;
    QMetaObject::Connection m_viewConnection;
};
