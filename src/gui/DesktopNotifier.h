// A desktop notification through the session bus's notification service
// (org.freedesktop.Notifications). Without a session bus or without the
// service nothing is shown and nothing is reported: a notification is a
// courtesy, not a part of the batch.
#pragma once

#include <QString>

// Sends the notification; false when no bus or service took it. Does not
// wait for the user.
bool SendDesktopNotification(const QString& title, const QString& body);
