#include "http_response.h"

#include "utf8.h"

std::optional<HttpResponseParts> split_http_response(std::string_view response) {
  size_t separator = response.find("\r\n\r\n");
  if (separator == std::string_view::npos) return std::nullopt;
  return HttpResponseParts{response.substr(0, separator), response.substr(separator + 4)};
}

std::string_view http_status_line(std::string_view head) {
  size_t newline = head.find('\n');
  if (newline == std::string_view::npos) return head;
  std::string_view line = head.substr(0, newline);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

Result<std::string> target_list_body(std::string_view response) {
  if (!is_valid_utf8(response))
    return ErrorChain::from_message("stream did not contain valid UTF-8");
  auto parts = split_http_response(response);
  if (!parts) return ErrorChain::from_message("malformed HTTP response from inspector");
  std::string_view status = http_status_line(parts->head);
  if (status.find("200") == std::string_view::npos) {
    return ErrorChain::from_message("inspector returned non-200: " + std::string(status));
  }
  return std::string(parts->body);
}
