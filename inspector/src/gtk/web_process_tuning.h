// Environment settings that make WebKit's processes start lighter and sooner.
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

// A library of WebKit's that binds tens of thousands of its own symbols: found
// late in the lookup order, it costs a quarter of each process's linking.
inline constexpr std::string_view kSelfBoundLibrary = "libflite_cmu_time_awb.so";

// The settings to make, given which variables the user already set (those are
// left as they are), whether the machine has a GPU render node (without one,
// GL is software rendering) and the path of the loaded kSelfBoundLibrary
// (null when WebKit does not use it).
WebProcessTuning web_process_tuning(const std::function<bool(std::string_view)>& is_set,
                                    bool has_render_node, const char* self_bound_library);
