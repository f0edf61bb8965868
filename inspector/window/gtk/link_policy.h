// Which addresses the web view follows and which go to the user's browser:
// the frontend's page is never replaced by a page from elsewhere.
#pragma once

#include <string>
#include <string_view>

enum class LinkAction { kFollow, kOpenInBrowser, kIgnore };

// A request for a new window: http(s) addresses go to the browser, anything
// else is dropped (the program has one window).
LinkAction new_window_link_action(std::string_view uri);

// A link clicked in the page: one to an http(s) page of another origin than
// `start_address` (the frontend's own) goes to the browser; the rest is followed.
LinkAction clicked_link_action(std::string_view uri, std::string_view start_address);

// "scheme://host[:port]" in lower case without a default port, or "" when
// `uri` is not an http(s) address with a host.
std::string web_origin(std::string_view uri);
