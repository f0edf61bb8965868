#include "gtk/web_process_environment.h"

#include <glib.h>

#include <string>
#include <vector>

#include "gtk/web_process_tuning.h"

namespace {

std::vector<const char*>& window_only_names() {
  static std::vector<const char*> names;
  return names;
}

std::vector<const char*>& kept_names() {
  static std::vector<const char*> names;
  return names;
}

bool has_render_node() {
  GDir* dri = g_dir_open("/dev/dri", 0, nullptr);
  if (dri == nullptr) return false;
  bool found = false;
  while (const char* name = g_dir_read_name(dri)) {
    found = found || g_str_has_prefix(name, "renderD");
  }
  g_dir_close(dri);
  return found;
}

}  // namespace

void tune_web_processes() {
  const WebProcessTuning tuning = web_process_tuning(
      [](std::string_view name) { return g_getenv(std::string(name).c_str()) != nullptr; },
      has_render_node());
  // Set before any thread of GTK or WebKit reads the environment.
  for (const EnvironmentSetting& setting : tuning.kept) {
    if (g_setenv(setting.name, setting.value, FALSE)) kept_names().push_back(setting.name);
  }
  for (const EnvironmentSetting& setting : tuning.window_only) {
    if (g_setenv(setting.name, setting.value, FALSE)) window_only_names().push_back(setting.name);
  }
}

void restore_web_process_environment() {
  // WebKit spawns the web process at the first load and it inherits this
  // environment; the window process keeps what it read while they were set.
  for (const char* name : window_only_names()) g_unsetenv(name);
  window_only_names().clear();
}

void leave_tuning_out(GAppLaunchContext* context) {
  for (const char* name : kept_names()) g_app_launch_context_unsetenv(context, name);
}
