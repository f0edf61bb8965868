// The checks one /json response must pass before its body is used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "error_chain.h"

struct HttpResponseParts {
  std::string_view head;  // before the first "\r\n\r\n"
  std::string_view body;  // after it, to the end
};

// Splits at the first "\r\n\r\n"; nothing when there is none.
std::optional<HttpResponseParts> split_http_response(std::string_view response);

// The head up to its first "\n", without a "\r" before it.
std::string_view http_status_line(std::string_view head);

// UTF-8, the separator, "200" in the status line; then a copy of the body.
Result<std::string> target_list_body(std::string_view response);
