// What the host's method files share: one call from the page and the helpers
// that turn results into its replies.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "error_chain.h"
#include "workspace_host.h"

using json = nlohmann::json;

struct WorkspaceHost::Call {
  long long id = 0;
  std::string method;
  json params;  // an array

  std::optional<std::string> text(size_t i) const {
    if (i >= params.size() || !params[i].is_string()) return std::nullopt;
    return params[i].get<std::string>();
  }
  std::optional<long long> integer(size_t i) const {
    if (i >= params.size() || !params[i].is_number_integer()) return std::nullopt;
    return params[i].get<long long>();
  }
  bool flag(size_t i) const {
    return i < params.size() && params[i].is_boolean() && params[i].get<bool>();
  }
};

inline std::string dump(const json& value) {
  // Invalid UTF-8 from a file becomes U+FFFD instead of failing the message.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

inline std::string last_message(const ErrorChain& error) {
  std::string text;
  for (const std::string& message : error.messages()) {
    if (!text.empty()) text += ": ";
    text += message;
  }
  return text;
}

// Why a granted file was not read: the status a resource load answers, the
// error name a file method answers, and the reason.
struct ReadRefusal {
  int status;
  std::string_view name;
  std::string message;
};

// Reads the file at `real`, a path already resolved inside the granted
// folders, in pieces of at most `limits.chunk_bytes`, each handed to `piece` as
// it comes. A file swapped for a link since it was resolved is refused, and
// so is one over the size limit, once its first piece past the limit is read.
std::optional<ReadRefusal> read_granted_file(FileSystem& files, const std::string& real,
                                             const WorkspaceLimits& limits,
                                             const std::function<void(std::string_view)>& piece);

template <typename Task>
auto WorkspaceHost::while_alive(Task task) const {
  return [self = std::weak_ptr<WorkspaceHost*>(self_), task = std::move(task)](auto&&... args) {
    auto alive = self.lock();
    if (!alive || *alive == nullptr) return;
    task(**alive, std::forward<decltype(args)>(args)...);
  };
}

template <typename Work, typename Done>
void WorkspaceHost::run_elsewhere(Work work, Done done) {
  WorkspaceWindow& window = window_;
  elsewhere_.post([&window, work = std::move(work), done = while_alive(std::move(done))] {
    auto result = std::make_shared<decltype(work())>(work());
    window.run_on_ui_thread([result, done] { done(std::move(*result)); });
  });
}
