#include "WindowSession.h"

#include "Calendar.h"

#include <QSettings>

#include <algorithm>

namespace {

const QString kGroup = QStringLiteral("session");
// More than anyone opens; a damaged settings file must not open thousands of windows.
constexpr int kMaxWindows = 64;

} // namespace

WindowSession WindowSession::load()
{
    QSettings settings;
    settings.beginGroup(kGroup);
    WindowSession s;
    s.frameGeometry = settings.value(QStringLiteral("geometry")).toRect();
    s.frameMaximized = settings.value(QStringLiteral("maximized"), false).toBool();
    s.toolBarState = settings.value(QStringLiteral("toolBarState")).toByteArray();
    const int count = settings.beginReadArray(QStringLiteral("windows"));
    for (int i = 0; i < count && i < kMaxWindows; ++i) {
        settings.setArrayIndex(i);
        YearWindow w;
        w.year = settings.value(QStringLiteral("year")).toInt();
        w.document = settings.value(QStringLiteral("document")).toInt();
        w.geometry = settings.value(QStringLiteral("geometry")).toRect();
        w.minimized = settings.value(QStringLiteral("minimized"), false).toBool();
        w.maximized = settings.value(QStringLiteral("maximized"), false).toBool();
        if (w.year >= Calendar::kFirstYear && w.year <= Calendar::kLastYear)
            s.windows.append(w);
    }
    settings.endArray();
    s.active =
        std::clamp(settings.value(QStringLiteral("active"), -1).toInt(), -1, int(s.windows.size()) - 1);
    return s;
}

void WindowSession::save() const
{
    QSettings settings;
    settings.remove(kGroup);
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("geometry"), frameGeometry);
    settings.setValue(QStringLiteral("maximized"), frameMaximized);
    settings.setValue(QStringLiteral("toolBarState"), toolBarState);
    settings.beginWriteArray(QStringLiteral("windows"), int(windows.size()));
    for (int i = 0; i < windows.size(); ++i) {
        settings.setArrayIndex(i);
        const YearWindow& w = windows.at(i);
        settings.setValue(QStringLiteral("year"), w.year);
        settings.setValue(QStringLiteral("document"), w.document);
        settings.setValue(QStringLiteral("geometry"), w.geometry);
        settings.setValue(QStringLiteral("minimized"), w.minimized);
        settings.setValue(QStringLiteral("maximized"), w.maximized);
    }
    settings.endArray();
    settings.setValue(QStringLiteral("active"), active);
}

QRect WindowSession::ontoScreen(const QRect& frame, const QList<QRect>& screens)
{
    if (screens.isEmpty() || !frame.isValid())
        return frame;
    // Enough of the top edge to grab the title bar by: 100 by 20 pixels (less on a narrower window).
    const QRect grip(frame.topLeft(), QSize(frame.width(), std::min(frame.height(), 20)));
    const int needed = std::min(frame.width(), 100);
    for (const QRect& screen : screens) {
        const QRect seen = grip.intersected(screen);
        if (seen.width() >= needed && seen.height() >= grip.height())
            return frame;
    }
    const QRect& primary = screens.first();
    QRect moved(QPoint(), frame.size().boundedTo(primary.size()));
    moved.moveCenter(primary.center());
    return moved;
}
