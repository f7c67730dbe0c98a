#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>

// What the main window looked like when the planner last closed: its place and size, its toolbar, and
// the year windows that were open with their layout, so that the next start shows them again. Kept with
// QSettings under "session".
struct WindowSession
{
    struct YearWindow
    {
        int year = 0;
        // Windows with the same number showed one document (New Window).
        int document = 0;
        QRect geometry; // in the MDI area
        bool minimized = false;
        bool maximized = false;

        bool operator==(const YearWindow&) const = default;
    };

    QRect frameGeometry; // the main window's normal geometry, frame excluded
    bool frameMaximized = false;
    QByteArray toolBarState; // QMainWindow::saveState()
    QList<YearWindow> windows;
    int active = -1; // index into windows

    bool operator==(const WindowSession&) const = default;

    // Nothing kept yet (or nothing usable): the first start.
    static WindowSession load();
    void save() const;

    // `frame` moved (and shrunk if need be) onto one of `screens` (available geometries, the primary
    // first) when too little of it is on any of them to grab it: a screen that was unplugged, or a
    // resolution that went down, must not leave the window out of reach.
    static QRect ontoScreen(const QRect& frame, const QList<QRect>& screens);
};
