#include "gtk/user_data_folder.h"

namespace {

bool absolute(std::optional<std::string_view> path) {
  return path && path->starts_with('/');
}

// "/a/b//" and "/a/b" join the same way; "/" stays "/".
std::string joined(std::string_view base, std::string_view rest) {
  while (base.size() > 1 && base.ends_with('/')) base.remove_suffix(1);
  std::string path(base);
  if (!path.ends_with('/')) path += '/';
  path += rest;
  return path;
}

}  // namespace

std::optional<std::string> user_data_folder(std::optional<std::string_view> xdg_data_home,
                                            std::optional<std::string_view> home) {
  const std::string name(kUserDataFolderName);
  if (absolute(xdg_data_home)) return joined(*xdg_data_home, name);
  if (absolute(home)) return joined(*home, ".local/share/" + name);
  return std::nullopt;
}

std::string window_data_folder(const std::string& folder, int window) {
  return window <= 1 ? folder : folder + "/window-" + std::to_string(window);
}
