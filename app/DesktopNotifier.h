#pragma once

#include <QString>

// Desktop notifications through org.freedesktop.Notifications on the session bus, for an alarm to reach a
// user whose planner is covered or on another desktop. Nothing happens without a session bus or without a
// notification server on it; the bus is first asked when there is something to tell, not at start-up.
class DesktopNotifier
{
public:
    // True when the server took the notification (asked without waiting for its answer).
    static bool notify(const QString& summary, const QString& body);
    // The alarm message as CheckAlarms makes it ("time line", empty line, text) as summary "Alarm" and a
    // body of the time line and the text.
    static bool notifyAlarm(const QString& message);
};
