// The native frontend host that --workspace gives the web view: the methods
// of the frontend's InspectorFrontendHost that the program serves, the
// messages that carry them, and the rules on what they may touch. The window
// layers only carry the messages (see workspace_page_script.h for the page side).
//
// Page to program: {"id": N, "method": "...", "params": [...]}, id 0 or
// absent when no answer is wanted. Program to page: {"id": N, "result": ...},
// {"id": N, "error": {"name": "...", "message": "..."}}, or
// {"event": "...", "params": [...]} for InspectorFrontendAPI's events.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"
#include "file_system.h"
#include "granted_folders.h"
#include "loopback_fetch.h"
#include "page_copies.h"
#include "save_streams.h"
#include "work_queue.h"

struct WorkspaceLimits {
  // A file or loopback resource larger than this is refused.
  size_t max_resource_bytes = size_t{256} << 20;
  // The longest a loopback server may take to send a resource.
  std::chrono::milliseconds fetch_time{10000};
  // The most text one streamed message carries.
  size_t chunk_bytes = size_t{1} << 20;
  // The most files one search lists.
  size_t max_listed_files = 100000;
};

// What the host needs from its window.
class WorkspaceWindow {
 public:
  virtual ~WorkspaceWindow() = default;
  // Hands one message to the page script; called on the UI thread.
  virtual void post_to_page(std::string message) = 0;
  virtual void bring_to_front() = 0;
  // Each answers on the UI thread: the chosen path, or nothing when cancelled.
  // The folder dialog opens in `start` when it is not empty.
  virtual void choose_folder(const std::string& start,
                             std::function<void(std::optional<std::string>)> chosen) = 0;
  virtual void choose_save_file(const std::string& suggested_name,
                                std::function<void(std::optional<std::string>)> chosen) = 0;
  // Runs `task` on the UI thread soon; callable from any thread.
  virtual void run_on_ui_thread(std::function<void()> task) = 0;
};

// The method names the page script forwards.
const std::vector<std::string_view>& workspace_host_methods();

// How a loopback resource is fetched; run off the UI thread.
using LoopbackFetch = Result<FetchedResource> (*)(const LoopbackResource&, const FetchLimits&);

class WorkspaceHost {
 public:
  // `files` must outlive the host and take calls from any thread: a search
  // lists folders off the UI thread.
  WorkspaceHost(WorkspaceWindow& window, FileSystem& files, WorkspaceLimits limits = {},
                LoopbackFetch fetch = fetch_loopback);
  ~WorkspaceHost();
  WorkspaceHost(const WorkspaceHost&) = delete;
  WorkspaceHost& operator=(const WorkspaceHost&) = delete;

  // Adds the workspace folder the user gave on the command line; a refusal
  // says so as check_workspace_folder does.
  Status grant(const std::string& folder);
  // One message from the page script, on the UI thread.
  void receive(std::string_view message);

 private:
  friend const std::vector<std::string_view>& workspace_host_methods();
  struct Call;
  using Method = void (WorkspaceHost::*)(const Call&);
  static const std::map<std::string_view, Method>& method_table();

  void answer(const Call& call, std::string result_json);
  void answer_error(const Call& call, std::string_view name, std::string_view message);
  void send_event(std::string_view name, std::string params_json);
  void report(std::string_view text);

  void load_network_resource(const Call& call);
  void request_file_systems(const Call& call);
  void add_file_system(const Call& call);
  void remove_file_system(const Call& call);
  void index_path(const Call& call);
  void search_in_path(const Call& call);
  void bring_to_front(const Call& call);
  void save(const Call& call);
  void append(const Call& call);
  void close(const Call& call);
  void file_open(const Call& call);
  void file_entries(const Call& call);
  void file_status(const Call& call);
  void file_read(const Call& call);
  void file_write(const Call& call);
  void file_remove(const Call& call);
  void file_rename(const Call& call);

  // `task` to be called later as task(host, ...), or not at all once the host
  // is gone: a dialog or a worker may answer after the page went away.
  template <typename Task>
  auto while_alive(Task task) const;
  // Runs `work` off the UI thread, then `done(host, result)` on the UI
  // thread, unless the host is gone by then.
  template <typename Work, typename Done>
  void run_elsewhere(Work work, Done done);

  void stream_local_file(const Call& call, const std::string& path, long long stream);
  void stream_text(long long stream, std::string& pending, std::string_view bytes, bool last);
  std::string file_system_json(const std::string& path, const std::string& type) const;

  WorkspaceWindow& window_;
  FileSystem& files_;
  WorkspaceLimits limits_;
  LoopbackFetch fetch_;
  GrantedFolders granted_;
  std::map<std::string, std::string> types_;  // granted folder -> "" or "overrides"
  SaveStreams saves_;
  PageCopies copies_;
  // The frontend reads up to 20 files at a time while it searches, and asks
  // for a map per script as a bundle's scripts load: a thread per call would
  // follow any such burst. Several at once, as a fetch may take 10 s.
  WorkQueue elsewhere_{8};
  // Cleared on destruction, so a fetch that ends later answers nobody.
  std::shared_ptr<WorkspaceHost*> self_;
};
