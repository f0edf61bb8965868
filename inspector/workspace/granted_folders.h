// The folders the user gave the window (the workspace and any chosen later):
// the only places the frontend host reads or writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"
#include "file_system.h"

// Whether `path` is `folder` or lies under it; both absolute and real.
bool path_within(std::string_view folder, std::string_view path, bool ignore_case);

// "DIR cannot be used as the workspace folder" with the system's reason, or
// nothing when it is an existing folder.
Status check_workspace_folder(FileSystem& files, const std::string& folder);
// The same report for a folder refused for `reason`.
ErrorChain workspace_folder_refused(const std::string& folder, ErrorChain reason);

class GrantedFolders {
 public:
  explicit GrantedFolders(FileSystem& files) : files_(files) {}

  // Keeps the folder's real path and returns it.
  Result<std::string> grant(const std::string& folder);
  void revoke(std::string_view real_folder);
  const std::vector<std::string>& folders() const { return folders_; }
  bool granted(std::string_view real_folder) const;

  // The real path of an existing `path` inside a granted folder.
  Result<std::string> resolve_existing(const std::string& path) const;
  // For a name that need not exist: its folder's real path, which must be
  // inside a granted folder, joined with the last name.
  Result<std::string> resolve_new(const std::string& path) const;

 private:
  bool inside(std::string_view real_path) const;

  FileSystem& files_;
  std::vector<std::string> folders_;
};
