#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

bool SendDesktopNotification(const QString& title, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    // No question to the bus first: a missing service answers the call with
    // an error that nobody waits for.
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, timeout
    call << QStringLiteral("Firmhand") << 0u << QStringLiteral("firmhand") << title << body
         << QStringList() << QVariantMap() << -1;
    // Sent without waiting for the reply: the window never blocks on the bus.
    return bus.send(call);
}
