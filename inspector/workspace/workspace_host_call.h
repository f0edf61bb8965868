// What the host's method files share: one call from the page and the helpers
// that turn results into its replies.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

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

template <typename Work, typename Done>
void WorkspaceHost::run_elsewhere(Work work, Done done) {
  std::weak_ptr<WorkspaceHost*> self = self_;
  WorkspaceWindow& window = window_;
  elsewhere_.post([self, &window, work = std::move(work), done = std::move(done)] {
    auto result = std::make_shared<decltype(work())>(work());
    window.run_on_ui_thread([self, result, done] {
      auto alive = self.lock();
      if (!alive || *alive == nullptr) return;
      done(**alive, std::move(*result));
    });
  });
}
