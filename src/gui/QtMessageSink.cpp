#include "QtMessageSink.h"

#include <QCoreApplication>

QEvent::Type CWindowMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool CQtMessageSink::PostMessage(CWindowMessage message) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_receiver.isNull()) {
        return false;
    }
    // Qt takes ownership of the posted event and deletes it after delivery.
    QCoreApplication::postEvent(m_receiver.data(), new CWindowMessageEvent(std::move(message)));
    return true;
}

void CQtMessageSink::Detach() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_receiver.clear();
}
