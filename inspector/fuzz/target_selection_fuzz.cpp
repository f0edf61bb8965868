// Any text as a target list: a target, or a report that names the failure.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  Result<std::string> target = select_target(body);
  if (target) {
    // The value came from a JSON string, so the body holds at least its quotes.
    require(target.value().size() + 2 <= body.size());
    // The default address holds the target verbatim between its fixed parts.
    const std::string address = build_frontend_address(target.value(), std::nullopt);
    require(address == "http://devtools.localhost/js_app.html?ws=" + target.value() +
                           "&experiments=true&v8only=true");
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
