// The program's one fatal-error value: messages from outermost to innermost.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

class ErrorChain {
 public:
  // A plain message.
  static ErrorChain from_message(std::string message);
  // A system error: the system's text for `code` followed by " (os error N)".
  static ErrorChain from_os_error(int code, std::string_view system_text);
  // The JSON parser's description of where and why parsing failed.
  static ErrorChain from_json_error(std::string parser_message);

  // Puts `message` in front of this chain, which becomes its cause.
  ErrorChain with_context(std::string message) &&;

  const std::vector<std::string>& messages() const { return messages_; }

  // "Error: " + outermost, then the causes, indented and numbered.
  std::string report() const;

 private:
  explicit ErrorChain(std::string message) { messages_.push_back(std::move(message)); }
  std::vector<std::string> messages_;
};

// Either a value or the error that prevented it.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(ErrorChain error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  ErrorChain& error() & { return std::get<1>(state_); }
  const ErrorChain& error() const& { return std::get<1>(state_); }
  ErrorChain&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, ErrorChain> state_;
};

// Success carries nothing; failure carries the error.
using Status = std::optional<ErrorChain>;
