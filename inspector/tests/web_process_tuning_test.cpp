// Which variables the window sets for WebKit's processes: never one the user set.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "gtk/web_process_tuning.h"

namespace {

std::set<std::string> names(const std::vector<EnvironmentSetting>& settings) {
  std::set<std::string> result;
  for (const EnvironmentSetting& setting : settings) result.insert(setting.name);
  return result;
}

constexpr const char* kLibrary = "/usr/lib/x86_64-linux-gnu/libflite_cmu_time_awb.so.1";

TEST(WebProcessTuningTest, LeavesTheUsersOwnVariablesAndGpuMachinesAlone) {
  const std::set<std::string> tiers = {"JSC_useDFGJIT", "JSC_thresholdForJITAfterWarmUp",
                                       "JSC_thresholdForJITSoon"};
  const std::set<std::string> no_egl = {"__EGL_VENDOR_LIBRARY_FILENAMES"};
  auto with = [](std::set<std::string> base, std::set<std::string> more) {
    base.insert(more.begin(), more.end());
    return base;
  };
  struct Case {
    const char* what;
    std::set<std::string> user_set;
    bool render_node;
    const char* self_bound;
    std::set<std::string> kept;
    std::set<std::string> window_only;
  };
  const Case cases[] = {
      {"software GL only", {}, false, nullptr, with(tiers, {"GDK_GL"}), no_egl},
      {"a GPU", {}, true, nullptr, tiers, {}},
      {"user's JSC option",
       {"JSC_useDFGJIT"},
       false,
       nullptr,
       {"JSC_thresholdForJITAfterWarmUp", "JSC_thresholdForJITSoon", "GDK_GL"},
       no_egl},
      {"user's GDK_GL", {"GDK_GL"}, false, nullptr, tiers, {}},
      {"user's EGL vendor", {"__EGL_VENDOR_LIBRARY_FILENAMES"}, false, nullptr, tiers, {}},
      {"all set", with(with(tiers, no_egl), {"GDK_GL"}), false, nullptr, {}, {}},
      {"self-bound library", {}, true, kLibrary, with(tiers, {"LD_PRELOAD"}), {}},
      {"user's preload", {"LD_PRELOAD"}, true, kLibrary, tiers, {}},
      {"a path the list would split",
       {},
       true,
       "/opt/my libs/libflite_cmu_time_awb.so.1",
       tiers,
       {}},
      {"a path with a colon", {}, true, "/opt/a:b/libflite_cmu_time_awb.so.1", tiers, {}},
  };
  for (const Case& c : cases) {
    const WebProcessTuning tuning = web_process_tuning(
        [&](std::string_view name) { return c.user_set.count(std::string(name)) > 0; },
        c.render_node, c.self_bound);
    EXPECT_EQ(names(tuning.kept), c.kept) << c.what;
    EXPECT_EQ(names(tuning.window_only), c.window_only) << c.what;
    for (const EnvironmentSetting& setting : tuning.kept) {
      if (std::string(setting.name) == "LD_PRELOAD") {
        EXPECT_STREQ(setting.value, c.self_bound) << c.what;
      }
    }
  }
}

}  // namespace
