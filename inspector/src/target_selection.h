// From the target list to the inspector target and the frontend address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "error_chain.h"

// The custom scheme that serves the embedded frontend; also the host label of
// the default frontend address.
inline constexpr std::string_view kFrontendScheme = "devtools";
inline constexpr const char* kFrontendOverrideVariable = "VORPEL_INSPECTOR_FRONTEND";

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

// The address of the embedded frontend's entry document for `target`.
std::string default_frontend_address(std::string_view target);

// Every "{ws}" in `template_text` replaced by `target`, left to right.
std::string expand_frontend_template(std::string_view template_text, std::string_view target);

// The override variable's template when set, else the default address.
std::string build_frontend_address(std::string_view target,
                                   const std::optional<std::string>& override_template);
std::string build_frontend_address(std::string_view target);
