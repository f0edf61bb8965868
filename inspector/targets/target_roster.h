// The live list of targets that the window's hub shows with --run and --all:
// the processes that announced themselves, and what an inspector lists.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "announcement.h"

// One target as the page's hub takes it.
struct HubTarget {
  // Stays the same while the target does; a target that comes back after it
  // was gone has a new one, so the page attaches it afresh.
  std::string id;
  // What the window calls it: the script or title, and the pid where known.
  std::string name;
  std::string ws;

  bool operator==(const HubTarget&) const = default;
};

class TargetRoster {
 public:
  // A process of the run. A second announcement from one pid (it opened its
  // inspector again) takes the place of the first.
  void announce(const Announcement& announcement);
  // Drops the processes that no longer run.
  void drop_ended(const std::function<bool(int pid)>& running);
  // What the inspector of --all lists now, or nothing when it could not be
  // asked. After it was unreachable or listed nothing, every target it lists
  // is a new one, even under a name seen before (workerd's is "main" in
  // every run), as --follow decides.
  void list(std::optional<std::string_view> body);

  std::vector<HubTarget> targets() const;
  // Grows by one with every change of targets().
  uint64_t version() const { return version_; }

 private:
  struct Process {
    int pid;
    HubTarget target;
  };
  void changed() { ++version_; }

  std::vector<Process> processes_;
  std::vector<HubTarget> listed_;
  uint64_t listed_run_ = 0;
  bool listed_gone_ = false;
  uint64_t version_ = 0;
};

// The script that hands `targets` to the page's hub.
std::string hub_targets_script(const std::vector<HubTarget>& targets);

// The last name of a path or file: URL ("/srv/app/server.js" is "server.js").
std::string_view last_path_name(std::string_view path);
