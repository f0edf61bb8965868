#include "target_roster.h"

#include <nlohmann/json.hpp>

#include <algorithm>

std::string_view last_path_name(std::string_view path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void TargetRoster::announce(const Announcement& announcement) {
  std::string script(last_path_name(announcement.script));
  HubTarget target;
  target.id = "process-" + std::to_string(announcement.pid) + "-" + announcement.ws;
  target.name = (script.empty() ? "node" : script) + " [" + std::to_string(announcement.pid) + "]";
  target.ws = announcement.ws;
  auto same_pid = std::find_if(processes_.begin(), processes_.end(), [&](const Process& process) {
    return process.pid == announcement.pid;
  });
  if (same_pid != processes_.end()) {
    if (same_pid->target == target) return;
    same_pid->target = std::move(target);
  } else {
    processes_.push_back({announcement.pid, std::move(target)});
  }
  changed();
}

void TargetRoster::drop_ended(const std::function<bool(int pid)>& running) {
  const size_t before = processes_.size();
  std::erase_if(processes_, [&](const Process& process) { return !running(process.pid); });
  if (processes_.size() != before) changed();
}

namespace {

// Node calls its target by its script's path, workerd by the Worker's name.
std::string listed_name(const nlohmann::json& element) {
  for (const char* field : {"title", "url"}) {
    auto value = element.find(field);
    if (value == element.end() || !value->is_string()) continue;
    const std::string_view name = last_path_name(value->get_ref<const std::string&>());
    if (!name.empty()) return std::string(name);
  }
  return "target";
}

}  // namespace

void TargetRoster::list(std::optional<std::string_view> body) {
  std::vector<HubTarget> listed;
  if (body) {
    nlohmann::json elements = nlohmann::json::parse(*body, nullptr, false);
    if (elements.is_array()) {
      for (const nlohmann::json& element : elements) {
        if (!element.is_object()) continue;
        auto ws = element.find("webSocketDebuggerUrl");
        if (ws == element.end() || !ws->is_string()) continue;
        const std::string& url = ws->get_ref<const std::string&>();
        if (!url.starts_with("ws://") && !url.starts_with("wss://")) continue;
        HubTarget target{"", listed_name(element), url};
        if (std::any_of(listed.begin(), listed.end(),
                        [&](const HubTarget& other) { return other.ws == url; })) {
          continue;
        }
        listed.push_back(std::move(target));
      }
    }
  }
  if (listed.empty()) {
    listed_gone_ = true;
  } else if (listed_gone_) {
    listed_gone_ = false;
    ++listed_run_;
  }
  for (HubTarget& target : listed) {
    target.id = "listed-" + std::to_string(listed_run_) + "-" + target.ws;
  }
  if (listed != listed_) {
    listed_ = std::move(listed);
    changed();
  }
}

std::vector<HubTarget> TargetRoster::targets() const {
  std::vector<HubTarget> all = listed_;
  for (const Process& process : processes_) all.push_back(process.target);
  return all;
}

std::string hub_targets_script(const std::vector<HubTarget>& targets) {
  nlohmann::json list = nlohmann::json::array();
  for (const HubTarget& target : targets) {
    list.push_back({{"id", target.id}, {"name", target.name}, {"ws", target.ws}});
  }
  // A script path need not be valid UTF-8; its name shows with U+FFFD then.
  const std::string text = list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return "window.vorpelHubTargets && window.vorpelHubTargets(" + text + ");";
}
