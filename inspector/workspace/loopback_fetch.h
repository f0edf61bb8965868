// GET of a loopback web server's resource (a local dev server's source map),
// done by the program, so the page's cross-origin rules do not apply.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "error_chain.h"
#include "resource_url.h"

struct FetchLimits {
  size_t max_body_bytes;
  std::chrono::milliseconds time;
};

struct FetchedResource {
  int status = 0;
  std::string body;
};

std::string loopback_request(const LoopbackResource& resource);

// The status and body of a whole response; chunked bodies are refused (the
// request is HTTP/1.0, so a server should not send one).
Result<FetchedResource> parse_fetched_response(std::string_view response);

Result<FetchedResource> fetch_loopback(const LoopbackResource& resource, const FetchLimits& limits);
