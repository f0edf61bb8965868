#include "target_follower.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <thread>

#include "frontend_address.h"
#include "startup_lines.h"
#include "sys.h"
#include "target_list_client.h"
#include "target_selection.h"

std::vector<std::string> listed_targets(std::string_view body) {
  std::vector<std::string> targets;
  const auto list = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (!list.is_array()) return targets;
  for (const auto& element : list) {
    if (!element.is_object()) continue;
    auto url = element.find("webSocketDebuggerUrl");
    if (url == element.end() || !url->is_string()) continue;
    targets.push_back(target_from_url(url->get_ref<const std::string&>()).text);
  }
  return targets;
}

FollowDecision decide_follow(std::string_view shown, std::string_view body) {
  FollowDecision decision;
  const std::vector<std::string> listed = listed_targets(body);
  decision.shown_listed = std::find(listed.begin(), listed.end(), shown) != listed.end();
  if (decision.shown_listed) return decision;
  auto first = select_target(body);
  if (first && first.value().text != shown) decision.switch_to = std::move(first).value();
  return decision;
}

namespace {

void follow(const std::string& address, InspectorTarget shown, const LoadInWindow& load) {
  bool restarting = false;
  for (;;) {
    std::this_thread::sleep_for(restarting ? kFollowRestartInterval : kFollowInterval);
    auto body = fetch_target_list_once(address);
    if (!body) {
      restarting = true;
      continue;
    }
    FollowDecision decision = decide_follow(shown.text, body.value());
    restarting = !decision.shown_listed;
    if (!decision.switch_to) continue;
    shown = std::move(*decision.switch_to);
    restarting = false;
    const std::string frontend_address = build_frontend_address(shown);
    load(frontend_address);
    sys::write_output_line(target_line(shown.text));
    sys::write_output_line(frontend_line(frontend_address));
  }
}

}  // namespace

void start_target_follower(std::string address, InspectorTarget shown_target, LoadInWindow load) {
  // Detached: the process ends when the window closes, whatever this thread does.
  std::thread(follow, std::move(address), std::move(shown_target), std::move(load)).detach();
}
