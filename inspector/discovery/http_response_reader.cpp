#include "http_response_reader.h"

#include <limits>

#include "ascii_case.h"

namespace {

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<size_t> parse_length(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  size_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const size_t digit = static_cast<size_t>(c - '0');
    if (value > (std::numeric_limits<size_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<size_t> http_declared_body_length(std::string_view head) {
  std::optional<size_t> length;
  int fields = 0;
  // The status line is skipped: it is no field even if it looks like one.
  size_t newline = head.find('\n');
  while (newline != std::string_view::npos) {
    head.remove_prefix(newline + 1);
    newline = head.find('\n');
    std::string_view line = head.substr(0, newline);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (!equals_ignoring_ascii_case(line.substr(0, colon), "content-length")) continue;
    ++fields;
    length = parse_length(trim_blanks(line.substr(colon + 1)));
  }
  if (fields != 1) return std::nullopt;
  return length;
}

HttpResponseReader::State HttpResponseReader::append(std::string_view chunk) {
  if (chunk.size() > limit_ - bytes_.size()) return State::kTooLarge;
  bytes_.append(chunk);
  if (!head_end_) {
    // Only the new bytes and the three before them can complete a separator.
    const size_t from = scanned_ >= 3 ? scanned_ - 3 : 0;
    const size_t separator = std::string_view(bytes_).find("\r\n\r\n", from);
    if (separator == std::string_view::npos) {
      scanned_ = bytes_.size();
      return State::kMore;
    }
    head_end_ = separator + 4;
    if (auto length = http_declared_body_length(std::string_view(bytes_).substr(0, separator))) {
      if (*length > limit_ - *head_end_) return State::kTooLarge;
      declared_end_ = *head_end_ + *length;
    }
  }
  if (declared_end_ && bytes_.size() >= *declared_end_) return State::kComplete;
  return State::kMore;
}

std::string HttpResponseReader::take() && {
  if (declared_end_ && bytes_.size() > *declared_end_) bytes_.resize(*declared_end_);
  return std::move(bytes_);
}

// Inspectors differ in whether they close after answering, and the sending
// side stays open because some take a half close for an aborted request.
Result<std::string> receive_http_response(net::Connection& connection,
                                          const ResponseLimits& limits) {
  using Clock = std::chrono::steady_clock;
  HttpResponseReader reader(limits.max_bytes);
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    if (limits.deadline) {
      // Waiting on readiness rather than a receive timeout: a socket's timeout
      // may run out a tick before the deadline and would read as an error.
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(*limits.deadline - Clock::now());
      if (left.count() <= 0) return ErrorChain::from_message(std::string(limits.too_slow));
      auto readable = net::wait_readable(connection, left);
      if (!readable) return std::move(readable).error();
      if (!readable.value()) continue;
    }
    auto count = net::receive_some(connection, buffer.data(), buffer.size());
    if (!count) return std::move(count).error();
    if (count.value() == 0) break;
    auto state = reader.append(std::string_view(buffer.data(), count.value()));
    if (state == HttpResponseReader::State::kTooLarge) {
      return ErrorChain::from_message(std::string(limits.too_large));
    }
    if (state == HttpResponseReader::State::kComplete) break;
  }
  return std::move(reader).take();
}
