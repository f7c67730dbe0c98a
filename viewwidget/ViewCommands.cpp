#include "ViewCommands.h"

#include "YearHistory.h"

#include <QAction>

namespace {

struct CommandText
{
    const char* objectName;
    const char* menuText;
    const char* prompt; // status-bar prompt and tooltip alike
    bool toggle;
    CTolvaView::Toggle flips;
};

// In menu order. Memo and Alarm comes after Project lines here, though its byte comes first in the record.
constexpr CommandText kCommands[ViewCommands::kCount] = {
    {"actionYearPlus", "Year +", "Show next Year", false, {}},
    {"actionYearMinus", "Year -", "Show previous Year", false, {}},
    {"actionToday", "Today", "Go to today", false, {}},
    {"actionShowDayNumbers", "Show Day numbers", "Show Day numbers", true, CTolvaView::Toggle::DayNumbers},
    {"actionShowSundays", "Show Sundays", "Show Sundays", true, CTolvaView::Toggle::Sundays},
    {"actionShowProjectLines", "Show Project lines", "Show Project lines", true,
     CTolvaView::Toggle::ProjectLines},
    {"actionShowMemoAlarm", "Show Memo and Alarm", "Show Memo and Alarm", true,
     CTolvaView::Toggle::MemoAlarm},
    {"actionShowRedDays", "Show Red days", "Show Red days", true, CTolvaView::Toggle::RedDays},
};

} // namespace

ViewCommands::ViewCommands(QObject* parent) : QObject(parent)
{
    for (int i = 0; i < kCount; ++i) {
        const CommandText& c = kCommands[i];
        auto* action = new QAction(tr(c.menuText), this);
        action->setObjectName(QLatin1String(c.objectName));
        action->setStatusTip(tr(c.prompt));
        action->setToolTip(tr(c.prompt));
        action->setCheckable(c.toggle);
        m_actions[i] = action;
        connect(action, &QAction::triggered, this, [this, i] {
            if (!m_view)
                return;
            switch (Command(i)) {
            case Command::YearPlus:
                m_view->OnYearPlus();
                break;
            case Command::YearMinus:
                m_view->OnYearMinus();
                break;
            case Command::Today:
                m_view->OnToday();
                break;
            default:
                m_view->flipToggle(kCommands[i].flips);
                break;
            }
            update();
        });
    }
    m_undo = m_history.createUndoAction(this, tr("Undo"));
    m_undo->setObjectName(QStringLiteral("actionUndo"));
    m_undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redo = m_history.createRedoAction(this, tr("Redo"));
    m_redo->setObjectName(QStringLiteral("actionRedo"));
    m_redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // A step reaches the disk at once, as the Day dialog's OK does (the group's own handler ran first).
    for (QAction* step : {m_undo, m_redo})
        connect(step, &QAction::triggered, this, [this] {
            if (m_view)
                m_view->saveYear();
        });
    update();
}

QAction* ViewCommands::action(Command command) const
{
    return m_actions[int(command)];
}

QList<QAction*> ViewCommands::actions() const
{
    return QList<QAction*>(std::begin(m_actions), std::end(m_actions));
}

void ViewCommands::setActiveView(CTolvaView* view)
{
    disconnect(m_viewConnection);
    m_view = view;
    if (view)
        m_viewConnection = connect(view, &CTolvaView::stateChanged, this, &ViewCommands::update);
    update();
}

void ViewCommands::update()
{
    for (int i = 0; i < kCount; ++i) {
        QAction* action = m_actions[i];
        action->setEnabled(m_view != nullptr);
        if (kCommands[i].toggle)
            action->setChecked(m_view && m_view->isToggleOn(kCommands[i].flips));
    }
    QUndoStack* history = nullptr;
    if (m_view && m_view->document()) {
        history = YearHistory::of(*m_view->document());
        m_history.addStack(history);
    }
    m_history.setActiveStack(history);
}
