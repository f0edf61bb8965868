#include "granted_folders.h"

#include <algorithm>

#include "ascii_case.h"

namespace {

bool same_text(std::string_view a, std::string_view b, bool ignore_case) {
  return ignore_case ? equals_ignoring_ascii_case(a, b) : a == b;
}

bool is_absolute(std::string_view path) {
  if (path.starts_with('/')) return true;
  return path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
         path[1] == ':' && path[2] == '/';
}

ErrorChain outside() {
  return ErrorChain::from_message("the path is outside the folders given to the window");
}

}  // namespace

bool path_within(std::string_view folder, std::string_view path, bool ignore_case) {
  while (folder.size() > 1 && folder.ends_with('/')) folder.remove_suffix(1);
  if (folder.empty() || path.size() < folder.size()) return false;
  if (!same_text(path.substr(0, folder.size()), folder, ignore_case)) return false;
  if (path.size() == folder.size()) return true;
  // "/a" holds "/a/b" but not "/ab"; a root such as "/" or "C:/" holds all below it.
  return folder.ends_with('/') || path[folder.size()] == '/';
}

Status check_workspace_folder(FileSystem& files, const std::string& folder) {
  if (auto error = files.check_folder(folder)) {
    return workspace_folder_refused(folder, std::move(*error));
  }
  return std::nullopt;
}

ErrorChain workspace_folder_refused(const std::string& folder, ErrorChain reason) {
  return std::move(reason).with_context(folder + " cannot be used as the workspace folder");
}

Result<std::string> GrantedFolders::grant(const std::string& folder) {
  if (auto error = files_.check_folder(folder)) return std::move(*error);
  auto real = files_.real_path(folder);
  if (!real) return real;
  if (!granted(real.value())) folders_.push_back(real.value());
  return real;
}

void GrantedFolders::revoke(std::string_view real_folder) {
  std::erase_if(folders_, [&](const std::string& folder) {
    return same_text(folder, real_folder, files_.ignores_case());
  });
}

bool GrantedFolders::granted(std::string_view real_folder) const {
  return std::any_of(folders_.begin(), folders_.end(), [&](const std::string& folder) {
    return same_text(folder, real_folder, files_.ignores_case());
  });
}

bool GrantedFolders::inside(std::string_view real_path) const {
  return std::any_of(folders_.begin(), folders_.end(), [&](const std::string& folder) {
    return path_within(folder, real_path, files_.ignores_case());
  });
}

Result<std::string> GrantedFolders::resolve_existing(const std::string& path) const {
  if (!is_absolute(path)) return outside();
  auto real = files_.real_path(path);
  if (!real) return real;
  if (!inside(real.value())) return outside();
  return real;
}

Result<std::string> GrantedFolders::resolve_new(const std::string& path) const {
  const size_t slash = path.rfind('/');
  if (!is_absolute(path) || slash == std::string::npos) return outside();
  const std::string name = path.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos) {
    return ErrorChain::from_message("not a file name: " + name);
  }
  std::string parent = path.substr(0, slash);
  if (parent.empty() || parent.ends_with(':')) parent += '/';
  auto real_parent = resolve_existing(parent);
  if (!real_parent) return real_parent;
  std::string joined = real_parent.value();
  if (!joined.ends_with('/')) joined += '/';
  return joined + name;
}
