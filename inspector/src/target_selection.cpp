#include "target_selection.h"

#include <nlohmann/json.hpp>

#include "sys.h"
#include "target_list_client.h"

namespace {

using nlohmann::json;

// Runs the parser again only to learn where and why it failed.
class ParseErrorRecorder : public nlohmann::json_sax<json> {
 public:
  std::string message;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    message = error.what();
    return false;
  }
};

std::string_view without_scheme(std::string_view url) {
  if (url.starts_with("ws://")) return url.substr(5);
  if (url.starts_with("wss://")) return url.substr(6);
  return url;
}

}  // namespace

Result<std::string> select_target(std::string_view body) {
  // The parser skips a leading byte order mark; JSON text has none.
  if (body.starts_with("\xEF\xBB\xBF")) {
    return ErrorChain::from_json_error("unexpected byte order mark at line 1, column 1")
        .with_context("inspector /json was not valid JSON");
  }
  json document = json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    ParseErrorRecorder recorder;
    json::sax_parse(body, &recorder);
    return ErrorChain::from_json_error(std::move(recorder.message))
        .with_context("inspector /json was not valid JSON");
  }
  if (document.is_array() && !document.empty() && document.front().is_object()) {
    const json& first = document.front();
    auto member = first.find("webSocketDebuggerUrl");
    if (member != first.end() && member->is_string()) {
      return std::string(without_scheme(member->get_ref<const std::string&>()));
    }
  }
  return ErrorChain::from_message("no webSocketDebuggerUrl in inspector /json: " +
                                  std::string(body));
}

Result<std::string> discover_target(std::string_view address) {
  auto body = fetch_target_list(address);
  Result<std::string> target = body ? select_target(body.value()) : std::move(body).error();
  if (!target) {
    return std::move(target).error().with_context("failed to read inspector targets from http://" +
                                                  std::string(address) + "/json");
  }
  return target;
}

std::string default_frontend_address(std::string_view target) {
  std::string address = "http://";
  address += kFrontendScheme;
  address += ".localhost/js_app.html?ws=";
  address += target;
  address += "&experiments=true&v8only=true";
  return address;
}

std::string expand_frontend_template(std::string_view template_text, std::string_view target) {
  static constexpr std::string_view kMarker = "{ws}";
  std::string address;
  size_t start = 0;
  for (;;) {
    size_t found = template_text.find(kMarker, start);
    if (found == std::string_view::npos) break;
    address.append(template_text.substr(start, found - start));
    address.append(target);
    start = found + kMarker.size();
  }
  address.append(template_text.substr(start));
  return address;
}

std::string build_frontend_address(std::string_view target,
                                   const std::optional<std::string>& override_template) {
  if (override_template) return expand_frontend_template(*override_template, target);
  return default_frontend_address(target);
}

std::string build_frontend_address(std::string_view target) {
  return build_frontend_address(target, sys::environment_variable(kFrontendOverrideVariable));
}
