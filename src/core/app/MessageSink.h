// The one way from the core to a front-end. Posting never waits for the
// receiver; messages are handled one at a time in the order they were posted.
#pragma once

#include <memory>

#include "app/WindowMessages.h"

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Hands the message over. Returns false when the receiver is gone; the
    // payload is then freed with the message.
    virtual bool PostMessage(CWindowMessage message) = 0;
};

using MessageSinkPtr = std::shared_ptr<IMessageSink>;
