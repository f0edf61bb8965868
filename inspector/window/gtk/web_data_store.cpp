#include "gtk/web_data_store.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/file.h>
#include <unistd.h>

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

// WebKit (seen with 2.50.6) expects one network process per data folder. With
// two windows on one folder, closing them lost every stored setting in 2 of 6
// tries: one network process deleted the local storage database as empty. So
// a folder is held by one window at a time, through a lock on a file in it
// that lasts as long as the program; this can go once WebKit's processes share
// a store safely. False when another window holds it, or when `lock` is not a
// plain file of its own (a link is not followed); a file system without locks
// holds nothing back.
bool hold(const std::string& folder) {
  const std::string lock = folder + "/lock";
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;  // fd stays open
  const bool held_elsewhere = errno == EWOULDBLOCK;
  ::close(fd);
  return !held_elsewhere;
}

}  // namespace

WebKitWebsiteDataManager* create_web_data_store() {
  const std::optional<std::string> base =
      user_data_folder(environment("XDG_DATA_HOME"), g_get_home_dir());
  if (!base) return webkit_website_data_manager_new_ephemeral();
  for (int window = 1; window <= kWindowFolders; ++window) {
    const std::string folder = window_data_folder(*base, window);
    if (!usable_folder(folder)) break;
    if (!hold(folder)) continue;
    // Caches go inside the folder too: nothing of the program's lands elsewhere.
    const std::string cache = folder + "/cache";
    return webkit_website_data_manager_new("base-data-directory", folder.c_str(),
                                           "base-cache-directory", cache.c_str(), nullptr);
  }
  return webkit_website_data_manager_new_ephemeral();
}
