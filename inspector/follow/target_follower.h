// --follow: keeps the window on the inspector's first target when the
// inspected program restarts and its inspector comes back with a new one.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "inspector_target.h"

struct FollowDecision {
  // The list's first target, when the shown one is no longer listed, or when
  // the inspector was gone in between: then the program is a new one, even
  // with the same target (workerd's is always "main"). A new target beside
  // the shown one does not take the window away.
  std::optional<InspectorTarget> switch_to;
  bool shown_listed = false;
  // Whether the inspector has been unreachable or listed no target since the
  // shown target (the new one, after a switch) was last listed.
  bool gone_since_listed = false;

  bool operator==(const FollowDecision&) const = default;
};

// What a fresh target list means for the window that shows `shown`, given
// what the watcher saw since `shown` was last listed.
FollowDecision decide_follow(std::string_view shown, bool gone_since_listed, std::string_view body);

// How often the list is fetched while the shown target is there, and while it
// is gone or the inspector is unreachable (a restart is under way): quickly
// at first, which is when a restarted program comes back, then more slowly,
// since a program that stays away costs a look every time.
inline constexpr std::chrono::milliseconds kFollowInterval{500};
inline constexpr std::chrono::milliseconds kFollowRestartInterval{50};
inline constexpr std::chrono::milliseconds kFollowLongRestartInterval{150};
inline constexpr std::chrono::seconds kFollowQuickRestartTime{3};

// Loads an address in the window; callable from any thread.
using LoadInWindow = std::function<void(const std::string& frontend_address)>;

// Watches `address` on a thread of its own that never keeps the process
// alive. On a switch it loads the new frontend address and prints the new
// target's two lines. Failures are not reported: it tries again.
void start_target_follower(std::string address, InspectorTarget shown_target, LoadInWindow load);
