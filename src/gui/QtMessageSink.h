// Carries the core's posted messages to the window thread. Each message
// becomes a queued Qt event; Qt delivers them one at a time in posting order.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <mutex>

#include "app/MessageSink.h"

class CWindowMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    explicit CWindowMessageEvent(CWindowMessage message)
        : QEvent(EventType()), m_message(std::move(message)) {}
    CWindowMessage& Message() { return m_message; }

private:
    CWindowMessage m_message;
};

// Thread-safe: any thread may post. Posting fails once the receiver is gone.
class CQtMessageSink : public IMessageSink {
public:
    explicit CQtMessageSink(QObject* receiver) : m_receiver(receiver) {}
    bool PostMessage(CWindowMessage message) override;
    // Called by the window before it goes away; later posts fail.
    void Detach();

private:
    std::mutex m_mutex;
    QPointer<QObject> m_receiver;
};
