#include "target_follower.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "frontend_address.h"
#include "inspector_watch.h"
#include "startup_lines.h"
#include "sys.h"
#include "target_list_client.h"
#include "target_selection.h"

FollowDecision decide_follow(std::string_view shown, bool gone_since_listed,
                             std::string_view body) {
  FollowDecision decision;
  TargetList list = read_target_list(body);
  const std::vector<InspectorTarget>& targets = list.targets;
  if (targets.empty()) {
    decision.gone_since_listed = true;  // between two programs
    return decision;
  }
  auto listed_shown =
      std::find_if(targets.begin(), targets.end(),
                   [&](const InspectorTarget& target) { return target.text == shown; });
  decision.shown_listed = listed_shown != targets.end();
  if (decision.shown_listed && !gone_since_listed) return decision;
  // A new program: the shown target is gone, or was while the inspector was.
  if (list.first) {
    decision.switch_to = std::move(list.first).value();
  } else if (decision.shown_listed) {
    decision.switch_to = *listed_shown;  // the first element names no target
  } else {
    decision.gone_since_listed = gone_since_listed;
  }
  return decision;
}

namespace {

void follow(const std::string& address, InspectorTarget shown, const LoadInWindow& load) {
  bool restarting = false;
  bool gone = false;
  // Between two looks at a listed target the follower waits on the watch, so
  // the program's end is seen at once, not up to an interval later.
  InspectorWatch watch(address);
  std::chrono::steady_clock::time_point missing_since;
  for (;;) {
    if (restarting) {
      const bool quick = std::chrono::steady_clock::now() - missing_since < kFollowQuickRestartTime;
      std::this_thread::sleep_for(quick ? kFollowRestartInterval : kFollowLongRestartInterval);
    } else {
      watch.wait(kFollowInterval);
    }
    const bool was_restarting = restarting;
    auto body = fetch_target_list_once(address);
    if (!body) {
      restarting = gone = true;
    } else {
      FollowDecision decision = decide_follow(shown.text, gone, body.value());
      restarting = !decision.shown_listed;
      gone = decision.gone_since_listed;
      if (decision.switch_to) {
        shown = std::move(*decision.switch_to);
        restarting = false;
        const std::string frontend_address = build_frontend_address(shown);
        load(frontend_address);
        sys::write_output_line(target_line(shown.text));
        sys::write_output_line(frontend_line(frontend_address));
      }
    }
    if (restarting && !was_restarting) missing_since = std::chrono::steady_clock::now();
  }
}

}  // namespace

void start_target_follower(std::string address, InspectorTarget shown_target, LoadInWindow load) {
  // Detached: the process ends when the window closes, whatever this thread does.
  std::thread(follow, std::move(address), std::move(shown_target), std::move(load)).detach();
}
