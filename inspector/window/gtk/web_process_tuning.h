// Every environment setting the window makes for WebKit's processes: lighter
// and sooner start-up, and no files outside the data folder.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

struct EnvironmentSetting {
  const char* name;
  const char* value;
};

struct WebProcessTuning {
  // For the window process and every WebKit process it starts.
  std::vector<EnvironmentSetting> kept;
  // Only while the web context and view are created: gone before the web
  // process starts, which needs what they turn off.
  std::vector<EnvironmentSetting> window_only;
};

// The settings to make, given which variables the user already set (those are
// left as they are) and whether the machine has a GPU render node (without
// one, GL is software rendering).
WebProcessTuning web_process_tuning(const std::function<bool(std::string_view)>& is_set,
                                    bool has_render_node);
