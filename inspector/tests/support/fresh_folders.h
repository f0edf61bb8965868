// A fresh home, XDG and temporary folders for one window run, removed afterwards.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "process_runner.h"

class FreshFolders {
 public:
  FreshFolders();
  ~FreshFolders();
  FreshFolders(const FreshFolders&) = delete;
  FreshFolders& operator=(const FreshFolders&) = delete;

  bool ok() const { return !root_.empty(); }
  // HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_STATE_HOME,
  // XDG_RUNTIME_DIR and TMPDIR, each a folder of its own.
  const std::map<std::string, std::string>& folders() const { return folders_; }
  const std::string& operator[](const std::string& variable) const { return folders_.at(variable); }
  // The variables set to the folders, added to `changes`.
  EnvironmentChanges environment(EnvironmentChanges changes = {}) const;
  // Where the program keeps its data with these folders.
  std::string data_folder() const { return folders_.at("XDG_DATA_HOME") + "/vorpel_inspector"; }
  // Every path below the folders, but the folders themselves.
  std::vector<std::string> written() const;
  // Waits until nothing below the folders has been made, removed, resized or
  // modified for `quiet`; false when that did not happen within `timeout`.
  bool wait_until_still(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const;

 private:
  std::filesystem::path root_;
  std::map<std::string, std::string> folders_;
};

// The paths of `paths` that are neither `folder` nor inside it.
std::vector<std::string> outside(const std::vector<std::string>& paths, const std::string& folder);
