#include "workspace_host.h"

#include <nlohmann/json.hpp>

#include "base64.h"
#include "loopback_fetch.h"
#include "resource_url.h"
#include "save_file_name.h"
#include "workspace_host_call.h"
#include "workspace_search.h"

namespace {

// Integers a page can send exactly: JavaScript numbers are doubles.
constexpr long long kLargestExactInteger = (1LL << 53) - 1;

// Where a UTF-8 text may be cut so that no sequence is split: before a
// trailing sequence that is not yet whole.
size_t utf8_cut(std::string_view bytes) {
  for (size_t back = 1; back <= 4 && back <= bytes.size(); ++back) {
    const unsigned char c = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((c & 0xC0) == 0x80) continue;
    const size_t length = (c & 0xE0) == 0xC0   ? 2
                          : (c & 0xF0) == 0xE0 ? 3
                          : (c & 0xF8) == 0xF0 ? 4
                                               : 1;
    return length > back ? bytes.size() - back : bytes.size();
  }
  return bytes.size();
}

json refusal(int status, std::string_view why) {
  return json{{"statusCode", status}, {"messageOverride", "vorpel_inspector: " + std::string(why)}};
}

}  // namespace

const std::vector<std::string_view>& workspace_host_methods() {
  static const std::vector<std::string_view> kMethods = [] {
    std::vector<std::string_view> names;
    for (const auto& [name, method] : WorkspaceHost::method_table()) {
      if (!name.starts_with("file.")) names.push_back(name);
    }
    return names;
  }();
  return kMethods;
}

const std::map<std::string_view, WorkspaceHost::Method>& WorkspaceHost::method_table() {
  static const std::map<std::string_view, Method> kTable = {
      {"loadNetworkResource", &WorkspaceHost::load_network_resource},
      {"requestFileSystems", &WorkspaceHost::request_file_systems},
      {"addFileSystem", &WorkspaceHost::add_file_system},
      {"removeFileSystem", &WorkspaceHost::remove_file_system},
      {"indexPath", &WorkspaceHost::index_path},
      {"searchInPath", &WorkspaceHost::search_in_path},
      {"bringToFront", &WorkspaceHost::bring_to_front},
      {"save", &WorkspaceHost::save},
      {"append", &WorkspaceHost::append},
      {"close", &WorkspaceHost::close},
      // The page's stand-in for the browser's file system API.
      {"file.open", &WorkspaceHost::file_open},
      {"file.entries", &WorkspaceHost::file_entries},
      {"file.status", &WorkspaceHost::file_status},
      {"file.read", &WorkspaceHost::file_read},
      {"file.write", &WorkspaceHost::file_write},
      {"file.remove", &WorkspaceHost::file_remove},
      {"file.rename", &WorkspaceHost::file_rename},
  };
  return kTable;
}

WorkspaceHost::WorkspaceHost(WorkspaceWindow& window, FileSystem& files, WorkspaceLimits limits,
                             LoopbackFetch fetch)
    : window_(window),
      files_(files),
      limits_(limits),
      fetch_(fetch),
      granted_(files),
      saves_(files),
      self_(std::make_shared<WorkspaceHost*>(this)) {}

WorkspaceHost::~WorkspaceHost() {
  *self_ = nullptr;
}

Status WorkspaceHost::grant(const std::string& folder) {
  auto real = granted_.grant(folder);
  if (!real) return workspace_folder_refused(folder, std::move(real).error());
  types_.emplace(real.value(), "");
  return std::nullopt;
}

void WorkspaceHost::receive(std::string_view message) {
  json parsed = json::parse(message, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return;
  Call call;
  if (auto id = parsed.find("id"); id != parsed.end()) {
    if (!id->is_number_integer() || id->get<long long>() < 0 ||
        id->get<long long>() > kLargestExactInteger) {
      return;  // an answer could reach no one
    }
    call.id = id->get<long long>();
  }
  auto method = parsed.find("method");
  if (method == parsed.end() || !method->is_string()) {
    answer_error(call, "TypeError", "no method");
    return;
  }
  call.method = method->get<std::string>();
  if (auto params = parsed.find("params"); params != parsed.end()) {
    if (!params->is_array()) {
      answer_error(call, "TypeError", "params is not a list");
      return;
    }
    call.params = std::move(*params);
  } else {
    call.params = json::array();
  }
  auto found = method_table().find(call.method);
  if (found == method_table().end()) {
    answer_error(call, "NotSupportedError", "no such method: " + call.method);
    return;
  }
  (this->*found->second)(call);
}

void WorkspaceHost::answer(const Call& call, std::string result_json) {
  if (call.id == 0) return;
  window_.post_to_page("{\"id\":" + std::to_string(call.id) + ",\"result\":" + result_json + "}");
}

void WorkspaceHost::answer_error(const Call& call, std::string_view name,
                                 std::string_view message) {
  if (call.id == 0) return;
  json reply{{"id", call.id}, {"error", {{"name", name}, {"message", message}}}};
  window_.post_to_page(dump(reply));
}

void WorkspaceHost::send_event(std::string_view name, std::string params_json) {
  window_.post_to_page("{\"event\":" + dump(json(name)) + ",\"params\":" + params_json + "}");
}

void WorkspaceHost::report(std::string_view text) {
  send_event("vorpelError", dump(json::array({text})));
}

std::string WorkspaceHost::file_system_json(const std::string& path,
                                            const std::string& type) const {
  // The path doubles as the name the page later asks for.
  return dump(
      json{{"type", type}, {"fileSystemName", path}, {"rootURL", ""}, {"fileSystemPath", path}});
}

// --- Resources --------------------------------------------------------------

void WorkspaceHost::stream_text(long long stream, std::string& pending, std::string_view bytes,
                                bool last) {
  pending.append(bytes);
  while (!pending.empty() && (last || pending.size() >= limits_.chunk_bytes)) {
    size_t take = std::min(pending.size(), limits_.chunk_bytes);
    if (take < pending.size() || !last) {
      const size_t cut = utf8_cut(std::string_view(pending).substr(0, take));
      if (cut > 0) take = cut;
    }
    send_event("streamWrite",
               dump(json::array({stream, std::string_view(pending).substr(0, take)})));
    pending.erase(0, take);
  }
}

void WorkspaceHost::stream_local_file(const Call& call, const std::string& path, long long stream) {
  auto real = granted_.resolve_existing(path);
  if (!real) {
    answer(call, dump(refusal(403, last_message(real.error()))));
    return;
  }
  std::string pending;
  auto refused = read_granted_file(files_, real.value(), limits_, [&](std::string_view piece) {
    stream_text(stream, pending, piece, false);
  });
  if (refused) {
    answer(call, dump(refusal(refused->status, refused->message)));
    return;
  }
  stream_text(stream, pending, "", true);
  answer(call, dump(json{{"statusCode", 200}}));
}

void WorkspaceHost::load_network_resource(const Call& call) {
  auto url = call.text(0);
  auto stream = call.integer(2);
  if (!url || !stream) {
    answer(call, dump(refusal(400, "malformed request")));
    return;
  }
  ResourceUrl kind = classify_resource_url(*url);
  if (auto* refused = std::get_if<RefusedUrl>(&kind)) {
    answer(call, dump(refusal(403, refused->reason)));
    return;
  }
  if (auto* file = std::get_if<LocalFile>(&kind)) {
    stream_local_file(call, file->path, *stream);
    return;
  }
  // A slow server must not hold the window: fetch elsewhere, answer here.
  const LoopbackResource resource = std::get<LoopbackResource>(kind);
  const FetchLimits limits{limits_.max_resource_bytes, limits_.fetch_time};
  run_elsewhere([fetch = fetch_, resource, limits] { return fetch(resource, limits); },
                [call, stream = *stream](WorkspaceHost& host, Result<FetchedResource> fetched) {
                  if (!fetched.ok()) {
                    host.answer(call, dump(refusal(404, last_message(fetched.error()))));
                    return;
                  }
                  std::string pending;
                  host.stream_text(stream, pending, fetched.value().body, true);
                  host.answer(call, dump(json{{"statusCode", fetched.value().status}}));
                });
}

// --- Folders ----------------------------------------------------------------

void WorkspaceHost::request_file_systems(const Call&) {
  // A page that asks is a new one: it holds no file yet.
  copies_.forget_all();
  json list = json::array();
  for (const std::string& folder : granted_.folders()) {
    list.push_back(json::parse(file_system_json(folder, types_[folder])));
  }
  send_event("fileSystemsLoaded", dump(json::array({list})));
}

void WorkspaceHost::add_file_system(const Call& call) {
  const std::string type = call.text(0).value_or("") == "overrides" ? "overrides" : "";
  // Beside the workspace: a second folder of one's own is usually a neighbour.
  std::string start;
  if (!granted_.folders().empty()) {
    start = granted_.folders().front();
    const size_t slash = start.rfind('/');
    if (slash != std::string::npos)
      start.erase(slash == 0 || start[slash - 1] == ':' ? slash + 1 : slash);
  }
  window_.choose_folder(
      start, while_alive([type](WorkspaceHost& host, std::optional<std::string> folder) {
        if (!folder) {
          host.send_event("fileSystemAdded", dump(json::array({"<selection cancelled>", nullptr})));
          return;
        }
        auto real = host.granted_.grant(*folder);
        if (!real) {
          host.send_event("fileSystemAdded",
                          dump(json::array({last_message(real.error()), nullptr})));
          return;
        }
        host.types_[real.value()] = type;
        host.send_event("fileSystemAdded",
                        "[null," + host.file_system_json(real.value(), type) + "]");
      }));
}

void WorkspaceHost::remove_file_system(const Call& call) {
  auto path = call.text(0);
  if (!path || !granted_.granted(*path)) return;
  granted_.revoke(*path);
  types_.erase(*path);
  copies_.forget_under(*path, files_.ignores_case());
  send_event("fileSystemRemoved", dump(json::array({*path})));
}

void WorkspaceHost::index_path(const Call& call) {
  // No index is kept: a search reads the files it lists.
  auto request = call.integer(0);
  auto path = call.text(1);
  if (!request || !path) return;
  send_event("indexingTotalWorkCalculated", dump(json::array({*request, *path, 1})));
  send_event("indexingWorked", dump(json::array({*request, *path, 1})));
  send_event("indexingDone", dump(json::array({*request, *path})));
}

void WorkspaceHost::search_in_path(const Call& call) {
  auto request = call.integer(0);
  auto path = call.text(1);
  auto query = call.text(2);
  if (!request || !path) return;
  if (!granted_.granted(*path)) {
    send_event("searchCompleted", dump(json::array({*request, *path, json::array()})));
    return;
  }
  // The frontend reads every file it gets back to search its text, so only
  // the files that can hold the query go back. Listing and reading a big tree
  // (node_modules, a build folder) takes long enough that the window would
  // stop drawing and taking input: it is done elsewhere. A search for one
  // word in 60,000 small files took 45 s and 1.8 GiB with every file a
  // candidate.
  run_elsewhere(
      [&files = files_, path = *path, query = query.value_or(""), most = limits_.max_listed_files] {
        return search_candidates(files, path, query, most);
      },
      [request = *request, path = *path](WorkspaceHost& host, std::vector<std::string> listed) {
        // The folder may have been removed while the search ran.
        json found = host.granted_.granted(path) ? json(listed) : json::array();
        host.send_event("searchCompleted", dump(json::array({request, path, std::move(found)})));
      });
}

void WorkspaceHost::bring_to_front(const Call&) {
  window_.bring_to_front();
}

// --- Saves ------------------------------------------------------------------

void WorkspaceHost::save(const Call& call) {
  auto url = call.text(0);
  auto content = call.text(1);
  if (!url || !content) return;
  saves_.begin(*url, *content);
  window_.choose_save_file(
      save_file_name(*url),
      while_alive([url = *url](WorkspaceHost& host, std::optional<std::string> path) {
        auto error = host.saves_.chosen(url, path);
        if (!path) {
          host.send_event("canceledSaveURL", dump(json::array({url})));
          return;
        }
        if (error) {
          host.report("could not save " + *path + ": " + last_message(*error));
        }
        if (host.saves_.open(url) || !error) {
          host.send_event("savedURL", dump(json::array({url, *path})));
        } else {
          host.send_event("canceledSaveURL", dump(json::array({url})));
        }
      }));
}

void WorkspaceHost::append(const Call& call) {
  auto url = call.text(0);
  auto content = call.text(1);
  if (!url || !content) return;
  if (auto error = saves_.append(*url, *content)) {
    report("could not save " + *url + ": " + last_message(*error));
  }
  // Answered even after a failure, so the frontend's stream drains and ends.
  send_event("appendedToURL", dump(json::array({*url})));
}

void WorkspaceHost::close(const Call& call) {
  auto url = call.text(0);
  if (!url) return;
  if (auto error = saves_.close(*url)) {
    report("could not save " + *url + ": " + last_message(*error));
  }
}
