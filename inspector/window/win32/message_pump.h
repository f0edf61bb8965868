// The window thread's one message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "error_chain.h"

// Dispatches the thread's messages, sleeping while none is queued, until
// `done()` holds (asked before each message) or a quit message comes: then it
// returns that message's exit status.
Result<std::optional<UINT>> pump_messages(const std::function<bool()>& done);

// A `done` for pump_messages that handles what is queued without waiting for more.
bool no_message_queued();
