// From the target list to the inspector target.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "error_chain.h"

// A webSocketDebuggerUrl without one leading "ws://", or else "wss://".
std::string_view strip_target_scheme(std::string_view url);

// The first target's webSocketDebuggerUrl without its "ws://" or "wss://".
Result<std::string> select_target(std::string_view body);

// True when the body is an empty JSON array: an inspector that listens
// before its first target exists (Deno, workerd) answers so for a moment.
bool is_empty_target_list(std::string_view body);

// Fetches the target list from `address` and selects the first target. An
// empty list is fetched again within the retry window.
Result<std::string> discover_target(std::string_view address);
