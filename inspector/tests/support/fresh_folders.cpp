#include "fresh_folders.h"

#include <sys/stat.h>

#include <cstdlib>
#include <thread>

namespace fs = std::filesystem;

FreshFolders::FreshFolders() {
  char base[] = "/tmp/vorpel-fresh-XXXXXX";
  if (mkdtemp(base) == nullptr) return;
  root_ = base;
  for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                               "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
    const fs::path folder = root_ / variable;
    fs::create_directory(folder);
    chmod(folder.c_str(), 0700);  // what XDG_RUNTIME_DIR must be; harmless for the rest
    folders_[variable] = folder.string();
  }
}

FreshFolders::~FreshFolders() {
  std::error_code ignored;
  if (!root_.empty()) fs::remove_all(root_, ignored);
}

EnvironmentChanges FreshFolders::environment(EnvironmentChanges changes) const {
  for (const auto& [variable, folder] : folders_) changes[variable] = folder;
  return changes;
}

std::vector<std::string> FreshFolders::written() const {
  std::vector<std::string> found;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string path = it->path().string();
    bool ours = false;
    for (const auto& [variable, folder] : folders_) ours = ours || path == folder;
    if (!ours) found.push_back(path);
  }
  return found;
}

namespace {

// Each path below `root` with its size and modification time, in one line.
std::string snapshot(const fs::path& root) {
  std::string state;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    struct stat info {};
    if (lstat(it->path().c_str(), &info) != 0) continue;  // gone meanwhile: the next look sees it
    state += it->path().string() + ' ' + std::to_string(info.st_size) + ' ' +
             std::to_string(info.st_mtim.tv_sec) + '.' + std::to_string(info.st_mtim.tv_nsec) +
             '\n';
  }
  return state;
}

}  // namespace

bool FreshFolders::wait_until_still(std::chrono::milliseconds quiet,
                                    std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string last = snapshot(root_);
  auto still_since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string now = snapshot(root_);
    if (now != last) {
      last = std::move(now);
      still_since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - still_since >= quiet) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> outside(const std::vector<std::string>& paths, const std::string& folder) {
  std::vector<std::string> result;
  for (const std::string& path : paths) {
    if (path != folder && !path.starts_with(folder + "/")) result.push_back(path);
  }
  return result;
}
