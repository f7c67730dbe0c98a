#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

} // namespace

bool DesktopNotifier::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Asking first keeps the bus from starting a server that is not running.
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/freedesktop/Notifications"), kService, QStringLiteral("Notify"));
    call << QStringLiteral("Tolva") << 0u << QStringLiteral("org.quillmoor.Tolva") << summary << body
         << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("org.quillmoor.Tolva")}} << -1;
    return bus.send(call);
}

bool DesktopNotifier::notifyAlarm(const QString& message)
{
    QString body = message;
    const qsizetype cut = body.indexOf(QLatin1String("\n\n"));
    if (cut >= 0)
        body.remove(cut, 1);
    return notify(QStringLiteral("Alarm"), body);
}
