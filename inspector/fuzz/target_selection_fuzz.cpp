// Any text as a target list: a target, or a report that names the failure.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "frontend_address.h"
#include "target_selection.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool starts_with(const std::string& text, std::string_view prefix) {
  return std::string_view(text).substr(0, prefix.size()) == prefix;
}

// Every "%XY" as its byte; a "%" without two hex digits makes it fail.
std::string percent_decoded(const std::string& value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      text += value[i];
      continue;
    }
    require(i + 2 < value.size() && std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(value[i + 2])));
    text += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  Result<InspectorTarget> target = select_target(body);
  if (target) {
    const std::string& text = target.value().text;
    // The value came from a JSON string, so the body holds at least its quotes.
    require(text.size() + 2 <= body.size());
    // The default address holds the target, one parameter that decodes back
    // to it, between its fixed parts.
    const std::string address = build_frontend_address(target.value(), std::nullopt);
    const std::string prefix = target.value().wss ? "http://devtools.localhost/js_app.html?wss="
                                                  : "http://devtools.localhost/js_app.html?ws=";
    const std::string suffix = "&experiments=true&v8only=true";
    require(starts_with(address, prefix) && address.size() >= prefix.size() + suffix.size() &&
            address.compare(address.size() - suffix.size(), suffix.size(), suffix) == 0);
    const std::string value =
        address.substr(prefix.size(), address.size() - prefix.size() - suffix.size());
    require(value.find_first_of("&#+ ") == std::string::npos);
    require(percent_decoded(value) == text);
    return 0;
  }

  ErrorChain chain = std::move(target).error().with_context(
      "failed to read inspector targets from http://127.0.0.1:9229/json");
  const auto& messages = chain.messages();
  const std::string no_target = "no webSocketDebuggerUrl in inspector /json: ";
  if (messages.size() == 2) {
    // Selection failed on valid JSON: the body comes back whole and unchanged.
    require(messages[1] == no_target + std::string(body));
  } else {
    require(messages.size() == 3 && messages[1] == "inspector /json was not valid JSON");
    require(!messages[2].empty());
  }

  const std::string report = chain.report();
  require(starts_with(report, "Error: " + messages[0] + "\n\nCaused by:\n"));
  require(!report.empty() && report.back() == '\n');
  // Every cause line is indented, however many lines the body had.
  const std::string causes = report.substr(report.find("Caused by:\n") + 11);
  size_t line_start = 0;
  while (line_start < causes.size()) {
    require(starts_with(causes.substr(line_start, 4), "    "));
    const size_t newline = causes.find('\n', line_start);
    require(newline != std::string::npos);
    line_start = newline + 1;
  }
  return 0;
}
