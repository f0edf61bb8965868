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

TEST(WebProcessTuningTest, LeavesTheUsersOwnVariablesAndGpuMachinesAlone) {
  // JavaScriptCore's own variables are never set: its default tiers stay.
  const std::set<std::string> tiers = {};
  const std::set<std::string> no_egl = {"__EGL_VENDOR_LIBRARY_FILENAMES"};
  const std::set<std::string> no_cache = {"MESA_SHADER_CACHE_DISABLE"};
  auto with = [](std::set<std::string> base, std::set<std::string> more) {
    base.insert(more.begin(), more.end());
    return base;
  };
  struct Case {
    const char* what;
    std::set<std::string> user_set;
    bool render_node;
    std::set<std::string> kept;
    std::set<std::string> window_only;
  };
  const Case cases[] = {
      {"software GL only", {}, false, with(with(tiers, no_cache), {"GDK_GL"}), no_egl},
      {"a GPU", {}, true, with(tiers, no_cache), {}},
      {"user's JSC option",
       {"JSC_useDFGJIT"},
       false,
       {"GDK_GL", "MESA_SHADER_CACHE_DISABLE"},
       no_egl},
      {"user's GDK_GL", {"GDK_GL"}, false, with(tiers, no_cache), {}},
      {"user's EGL vendor", {"__EGL_VENDOR_LIBRARY_FILENAMES"}, false, with(tiers, no_cache), {}},
      {"user's shader cache choice", no_cache, false, with(tiers, {"GDK_GL"}), no_egl},
      {"user's shader cache choice and a GPU", no_cache, true, tiers, {}},
      {"all set", with(with(with(tiers, no_egl), no_cache), {"GDK_GL"}), false, {}, {}},
  };
  for (const Case& c : cases) {
    const WebProcessTuning tuning = web_process_tuning(
        [&](std::string_view name) { return c.user_set.count(std::string(name)) > 0; },
        c.render_node);
    EXPECT_EQ(names(tuning.kept), c.kept) << c.what;
    EXPECT_EQ(names(tuning.window_only), c.window_only) << c.what;
  }
}

}  // namespace
