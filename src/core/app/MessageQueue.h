// A message sink that queues messages for a reader that polls: the CLI's
// main loop and the tests.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "app/MessageSink.h"

class CMessageQueue : public IMessageSink {
public:
    bool PostMessage(CWindowMessage message) override;

    // Waits up to `timeoutMs` for the next message.
    std::optional<CWindowMessage> Pop(int timeoutMs);
    std::optional<CWindowMessage> TryPop() { return Pop(0); }
    size_t Size() const;

    // After Close, posts fail (the receiver is gone) and Pop returns what is
    // left, then nothing.
    void Close();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<CWindowMessage> m_messages;
    bool m_closed = false;
};
