// The one translation of the core's posted messages into a session's
// events, used by the session's sink. Not for front-ends: they only see
// the events.
#pragma once

#include <optional>

#include "app/WindowMessages.h"
#include "session/SessionEvents.h"

// The event a message stands for; nullopt for a message no event stands
// for (an id or a code the table does not know, a report without record).
std::optional<SessionEvent> EventOfMessage(CWindowMessage message);
