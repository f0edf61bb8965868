// Any bytes as a received /json response: the body or one of the three errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http_response.h"
#include "http_response_reader.h"
#include "utf8.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

// The bytes arrive in pieces whose sizes the input's first byte picks: the
// reader ends where the declared length says, the same for any split.
void check_reader(std::string_view response) {
  if (response.empty()) return;
  const size_t piece = 1 + static_cast<unsigned char>(response[0]) % 7;
  constexpr size_t kLimit = 4096;
  HttpResponseReader whole(kLimit), split(kLimit);
  const auto whole_state = whole.append(response);
  auto split_state = HttpResponseReader::State::kMore;
  for (size_t at = 0; at < response.size() && split_state == HttpResponseReader::State::kMore;
       at += piece) {
    split_state = split.append(response.substr(at, piece));
  }
  if (whole_state == HttpResponseReader::State::kTooLarge) return;
  require(split_state == whole_state);
  const std::string taken = std::move(split).take();
  require(taken == std::move(whole).take());
  require(response.starts_with(taken));
  const size_t separator = response.find("\r\n\r\n");
  if (whole_state == HttpResponseReader::State::kComplete) {
    require(separator != std::string_view::npos);
    auto length = http_declared_body_length(response.substr(0, separator));
    require(length && taken.size() == separator + 4 + *length);
  } else {
    require(taken == response);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view response(reinterpret_cast<const char*>(data), size);
  check_reader(response);
  Result<std::string> body = target_list_body(response);

  const size_t separator = response.find("\r\n\r\n");
  const bool utf8 = is_valid_utf8(response);
  if (body) {
    require(utf8 && separator != std::string_view::npos);
    require(body.value() == response.substr(separator + 4));
    require(http_status_line(response.substr(0, separator)).find("200") != std::string_view::npos);
    return 0;
  }
  const auto& messages = body.error().messages();
  require(messages.size() == 1);
  const std::string& message = messages[0];
  if (!utf8) {
    require(message == "stream did not contain valid UTF-8");
  } else if (separator == std::string_view::npos) {
    require(message == "malformed HTTP response from inspector");
  } else {
    const std::string_view status = http_status_line(response.substr(0, separator));
    require(status.find("200") == std::string_view::npos);
    require(message == "inspector returned non-200: " + std::string(status));
    // The status line ends before the first line break and is never longer than the head.
    require(status.find('\n') == std::string_view::npos && status.size() <= separator);
  }
  // The report of any of them is one line plus the final line break.
  require(body.error().report() == "Error: " + message + "\n");
  return 0;
}
