// Collects one HTTP/1.0 response as it arrives and tells when it is whole.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "error_chain.h"
#include "net.h"

// The body length the head declares: one Content-Length field whose value is
// all digits. Missing, repeated or malformed fields declare nothing.
std::optional<size_t> http_declared_body_length(std::string_view head);

class HttpResponseReader {
 public:
  enum class State { kMore, kComplete, kTooLarge };

  // `limit`: the most bytes the whole response may have.
  explicit HttpResponseReader(size_t limit) : limit_(limit) {}

  // Adds received bytes. The response is complete once the declared body has
  // arrived; without a declared length only the end of the stream ends it.
  State append(std::string_view chunk);

  // The response so far, without any bytes past a declared body.
  std::string take() &&;

 private:
  size_t limit_;
  std::string bytes_;
  size_t scanned_ = 0;                  // bytes known to hold no separator
  std::optional<size_t> head_end_;      // just past the first "\r\n\r\n"
  std::optional<size_t> declared_end_;  // head_end_ + the declared body length
};

// What a receive may take, and the words for each way it runs over.
struct ResponseLimits {
  size_t max_bytes = 0;
  std::string_view too_large = {};
  // When set, the whole response must have come by then.
  std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt;
  std::string_view too_slow = {};
};

// Receives until the peer closes, or until the body its head declares is all
// there; without a deadline, the connection's own receive timeout applies.
Result<std::string> receive_http_response(net::Connection& connection,
                                          const ResponseLimits& limits);
