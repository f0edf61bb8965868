// From the target list to the inspector target.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"
#include "inspector_target.h"

// A webSocketDebuggerUrl without one leading "ws://", or else "wss://".
std::string_view strip_target_scheme(std::string_view url);

// The target a webSocketDebuggerUrl names.
InspectorTarget target_from_url(std::string_view url);

// What a target list names, read in one pass: a tree of a large list would
// cost some 30 times the body's size.
struct TargetList {
  // Every element's webSocketDebuggerUrl that is a string, in list order;
  // none when the body is no JSON array (a leading byte order mark is passed
  // over here).
  std::vector<InspectorTarget> targets;
  // The first element's, as select_target gives it.
  Result<InspectorTarget> first;
};
TargetList read_target_list(std::string_view body);

// The first target, from its webSocketDebuggerUrl.
Result<InspectorTarget> select_target(std::string_view body);

// True when the body is an empty JSON array: an inspector that listens
// before its first target exists (Deno, workerd) answers so for a moment.
bool is_empty_target_list(std::string_view body);

// Fetches the target list from `address` and selects the first target. An
// empty list is fetched again within the retry window.
Result<InspectorTarget> discover_target(std::string_view address);
