#include "gtk/web_process_environment.h"

#include <glib.h>
#include <link.h>

#include <cstring>
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

// Its full path as this process loaded it for WebKit, or null.
const char* loaded_self_bound_library() {
  const char* found = nullptr;
  dl_iterate_phdr(
      [](dl_phdr_info* object, size_t, void* data) {
        const char* slash = object->dlpi_name ? std::strrchr(object->dlpi_name, '/') : nullptr;
        if (slash == nullptr || !std::string_view(slash + 1).starts_with(kSelfBoundLibrary))
          return 0;
        *static_cast<const char**>(data) = object->dlpi_name;
        return 1;
      },
      &found);
  return found;
}

}  // namespace

void tune_web_processes() {
  const WebProcessTuning tuning = web_process_tuning(
      [](std::string_view name) { return g_getenv(std::string(name).c_str()) != nullptr; },
      has_render_node(), loaded_self_bound_library());
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
