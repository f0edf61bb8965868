#include "gtk/link_policy.h"

#include "ascii_case.h"

std::string web_origin(std::string_view uri) {
  const size_t colon = uri.find(':');
  if (colon == std::string_view::npos) return "";
  const std::string scheme = ascii_lowercase(uri.substr(0, colon));
  if (scheme != "http" && scheme != "https") return "";
  std::string_view rest = uri.substr(colon + 1);
  if (!rest.starts_with("//")) return "";
  rest.remove_prefix(2);
  std::string authority = ascii_lowercase(rest.substr(0, rest.find_first_of("/?#")));
  // Credentials are no part of the origin.
  if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  const std::string default_port = scheme == "http" ? ":80" : ":443";
  if (authority.ends_with(default_port)) authority.resize(authority.size() - default_port.size());
  if (authority.empty() || authority.ends_with(':')) return "";
  return scheme + "://" + authority;
}

LinkAction new_window_link_action(std::string_view uri) {
  return web_origin(uri).empty() ? LinkAction::kIgnore : LinkAction::kOpenInBrowser;
}

LinkAction clicked_link_action(std::string_view uri, std::string_view start_address) {
  const std::string origin = web_origin(uri);
  if (origin.empty() || origin == web_origin(start_address)) return LinkAction::kFollow;
  return LinkAction::kOpenInBrowser;
}
