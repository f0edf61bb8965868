// Any line as an announcement, and any text as --all's list: the window is
// given only loopback WebSockets from this run, and a script that stays one
// call with one JSON array, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "announcement.h"
#include "target_roster.h"

namespace {

constexpr std::string_view kSecret = "s3cret";

void require(bool condition) {
  if (!condition) std::abort();
}

void check_script(const TargetRoster& roster) {
  const std::string script = hub_targets_script(roster.targets());
  constexpr std::string_view kStart = "window.vorpelHubTargets && window.vorpelHubTargets(";
  require(script.starts_with(kStart) && script.ends_with(");"));
  const std::string list = script.substr(kStart.size(), script.size() - kStart.size() - 2);
  nlohmann::json parsed = nlohmann::json::parse(list, nullptr, false);
  require(parsed.is_array() && parsed.size() == roster.targets().size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TargetRoster roster;
  auto announcement = read_announcement(text, kSecret);
  if (announcement) {
    const Announcement& read = announcement.value();
    require(read.pid > 0);
    require(read.ws.starts_with("ws://127.0.0.1:") || read.ws.starts_with("ws://[::1]:") ||
            read.ws.starts_with("ws://localhost:"));
    require(read.ws.find_first_of("?#@ \"\\") == std::string::npos);
    nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
    require(line.is_object() && line.value("secret", std::string()) == kSecret);
    roster.announce(read);
  }
  roster.list(text);
  for (const HubTarget& target : roster.targets()) {
    require(target.ws.starts_with("ws://") || target.ws.starts_with("wss://"));
    require(!target.id.empty() && !target.name.empty());
  }
  check_script(roster);
  return 0;
}
