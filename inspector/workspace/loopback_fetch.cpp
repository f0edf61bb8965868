#include "loopback_fetch.h"

#include <algorithm>

#include "ascii_case.h"
#include "http_response.h"
#include "http_response_reader.h"
#include "net.h"

namespace {

// The head's room on top of the body's limit.
constexpr size_t kHeadBytes = 64 * 1024;

bool declares_chunked_body(std::string_view head) {
  const std::string lower = ascii_lowercase(head);
  size_t at = 0;
  while ((at = lower.find("\ntransfer-encoding:", at)) != std::string::npos) {
    const size_t end = lower.find('\n', at + 1);
    if (lower.substr(at, end - at).find("chunked") != std::string::npos) return true;
    at = end;
  }
  return false;
}

}  // namespace

std::string loopback_request(const LoopbackResource& resource) {
  return "GET " + resource.target + " HTTP/1.0\r\nHost: " + resource.host +
         "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

Result<FetchedResource> parse_fetched_response(std::string_view response) {
  auto parts = split_http_response(response);
  if (!parts) return ErrorChain::from_message("the server's response has no end of head");
  const std::string_view status_line = http_status_line(parts->head);
  // "HTTP/1.x NNN reason"
  if (!status_line.starts_with("HTTP/") || status_line.find(' ') == std::string_view::npos) {
    return ErrorChain::from_message("the server's response has no status line");
  }
  const std::string_view code = status_line.substr(status_line.find(' ') + 1).substr(0, 3);
  if (code.size() != 3 ||
      !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return ErrorChain::from_message("the server's response has no status code");
  }
  if (declares_chunked_body(parts->head)) {
    return ErrorChain::from_message("the server sent a chunked body");
  }
  FetchedResource fetched;
  fetched.status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
  fetched.body = std::string(parts->body);
  return fetched;
}

Result<FetchedResource> fetch_loopback(const LoopbackResource& resource,
                                       const FetchLimits& limits) {
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  auto connection = net::connect(resource.address);
  if (!connection) return std::move(connection).error();
  if (auto error = net::send_all(connection.value(), loopback_request(resource))) {
    return std::move(*error);
  }
  auto response = receive_http_response(connection.value(),
                                        {.max_bytes = limits.max_body_bytes + kHeadBytes,
                                         .too_large = "the resource is larger than the limit",
                                         .deadline = deadline,
                                         .too_slow = "the server took too long"});
  if (!response) return std::move(response).error();
  auto fetched = parse_fetched_response(response.value());
  if (fetched && fetched.value().body.size() > limits.max_body_bytes) {
    return ErrorChain::from_message("the resource is larger than the limit");
  }
  return fetched;
}
