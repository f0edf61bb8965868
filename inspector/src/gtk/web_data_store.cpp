#include "gtk/web_data_store.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <string>

#include "gtk/user_data_folder.h"

namespace {

std::optional<std::string_view> environment(const char* name) {
  const char* value = g_getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

// The folder exists (now) as a directory we may write into.
bool usable_folder(const std::string& folder) {
  const std::string parent = folder.substr(0, folder.rfind('/'));
  // The XDG rules ask for 0700 on base folders that are created.
  if (!parent.empty() && g_mkdir_with_parents(parent.c_str(), 0700) != 0) return false;
  if (g_mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR) &&
         g_access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

WebKitWebsiteDataManager* create_web_data_store() {
  const std::optional<std::string> folder =
      user_data_folder(environment("XDG_DATA_HOME"), g_get_home_dir());
  if (!folder || !usable_folder(*folder)) return webkit_website_data_manager_new_ephemeral();
  // Caches go inside the folder too: nothing of the program's lands elsewhere.
  const std::string cache = *folder + "/cache";
  return webkit_website_data_manager_new("base-data-directory", folder->c_str(),
                                         "base-cache-directory", cache.c_str(), nullptr);
}
