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

// Runs `task` on the thread of `window` soon, from its message loop; callable
// from any thread. The window's procedure passes its messages to
// run_posted_task. A task for a window that is gone is dropped.
void post_task(HWND window, std::function<void()> task);

// Runs the task `message` carries, if it is one that post_task sent.
bool run_posted_task(UINT message, LPARAM lparam);
