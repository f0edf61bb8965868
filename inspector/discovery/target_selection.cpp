#include "target_selection.h"

#include <nlohmann/json.hpp>

#include "target_list_client.h"

namespace {

using nlohmann::json;

// Validates the whole document but keeps only each element's
// "webSocketDebuggerUrl" when it is a string, and whether the first element
// named one. A repeated member counts with its last value, as in a tree.
class TargetListReader : public nlohmann::json_sax<json> {
 public:
  std::vector<InspectorTarget> targets;
  bool first_listed = false;  // then targets.front() is the first element's
  std::string error;

  bool null() override { return value(nullptr); }
  bool boolean(bool) override { return value(nullptr); }
  bool number_integer(number_integer_t) override { return value(nullptr); }
  bool number_unsigned(number_unsigned_t) override { return value(nullptr); }
  bool number_float(number_float_t, const string_t&) override { return value(nullptr); }
  bool binary(binary_t&) override { return value(nullptr); }
  bool string(string_t& text) override { return value(&text); }
  bool start_object(std::size_t) override { return open(/*object=*/true); }
  bool start_array(std::size_t) override { return open(/*object=*/false); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool key(string_t& name) override {
    member_ = in_element_ && depth_ == 2 && name == "webSocketDebuggerUrl";
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& exception) override {
    error = exception.what();
    return false;
  }

 private:
  // A scalar, or a string when `text` is set.
  bool value(string_t* text) {
    if (depth_ == 1) ++elements_;
    if (member_)
      url_ = text != nullptr ? std::optional<std::string>(std::move(*text)) : std::nullopt;
    member_ = false;
    return true;
  }

  bool open(bool object) {
    if (depth_ == 0 && !object) top_is_array_ = true;
    if (depth_ == 1) {
      ++elements_;
      in_element_ = object && top_is_array_;
      url_.reset();
    }
    if (member_) url_.reset();
    member_ = false;
    ++depth_;
    return true;
  }

  bool close() {
    --depth_;
    if (depth_ == 1 && in_element_) {
      in_element_ = false;
      if (url_) {
        first_listed = first_listed || elements_ == 1;
        targets.push_back(target_from_url(*url_));
      }
    }
    return true;
  }

  size_t depth_ = 0;
  bool top_is_array_ = false;
  size_t elements_ = 0;      // of the top array, counted as they start
  bool in_element_ = false;  // inside an object element of the top array
  bool member_ = false;      // the next value is that element's member
  std::optional<std::string> url_;
};

}  // namespace

std::string_view strip_target_scheme(std::string_view url) {
  if (url.starts_with("ws://")) return url.substr(5);
  if (url.starts_with("wss://")) return url.substr(6);
  return url;
}

InspectorTarget target_from_url(std::string_view url) {
  return {std::string(strip_target_scheme(url)), url.starts_with("wss://")};
}

TargetList read_target_list(std::string_view body) {
  TargetListReader reader;
  const bool parsed = json::sax_parse(body, &reader);
  auto first = [&]() -> Result<InspectorTarget> {
    // The parser skips a leading byte order mark; JSON text has none.
    if (body.starts_with("\xEF\xBB\xBF")) {
      return ErrorChain::from_json_error("unexpected byte order mark at line 1, column 1")
          .with_context("inspector /json was not valid JSON");
    }
    if (!parsed) {
      return ErrorChain::from_json_error(std::move(reader.error))
          .with_context("inspector /json was not valid JSON");
    }
    if (reader.first_listed) return reader.targets.front();
    return ErrorChain::from_message("no webSocketDebuggerUrl in inspector /json: " +
                                    std::string(body));
  }();
  if (!parsed) reader.targets.clear();
  return {std::move(reader.targets), std::move(first)};
}

Result<InspectorTarget> select_target(std::string_view body) {
  return read_target_list(body).first;
}

bool is_empty_target_list(std::string_view body) {
  auto skip_blanks = [&body] {
    while (!body.empty() && (body.front() == ' ' || body.front() == '\t' || body.front() == '\r' ||
                             body.front() == '\n')) {
      body.remove_prefix(1);
    }
  };
  for (char expected : {'[', ']'}) {
    skip_blanks();
    if (body.empty() || body.front() != expected) return false;
    body.remove_prefix(1);
  }
  skip_blanks();
  return body.empty();
}

Result<InspectorTarget> discover_target(std::string_view address) {
  auto body =
      fetch_target_list(address, [](std::string_view text) { return !is_empty_target_list(text); });
  Result<InspectorTarget> target = body ? select_target(body.value()) : std::move(body).error();
  if (!target) {
    return std::move(target).error().with_context("failed to read inspector targets from http://" +
                                                  std::string(address) + "/json");
  }
  return target;
}
