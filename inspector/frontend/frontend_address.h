// The frontend address: built once from the target, printed by the launcher
// and opened by the window; and its two spellings, the http form that the
// launcher prints and the web views intercept, and the scheme form that the
// protocol handler receives.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "inspector_target.h"

// The custom scheme that serves the embedded frontend; also the host label of
// the default frontend address, so both spellings derive from it.
#define VORPEL_FRONTEND_SCHEME "devtools"
inline constexpr std::string_view kFrontendScheme = VORPEL_FRONTEND_SCHEME;
inline constexpr std::string_view kFrontendHttpPrefix = "http://" VORPEL_FRONTEND_SCHEME ".";
inline constexpr std::string_view kFrontendSchemePrefix = VORPEL_FRONTEND_SCHEME "://";
// What WebView2 matches to route the frontend's requests to the handler.
inline constexpr const wchar_t* kFrontendRequestFilter = L"http://" VORPEL_FRONTEND_SCHEME ".*";

inline constexpr const char* kFrontendOverrideVariable = "VORPEL_INSPECTOR_FRONTEND";

// `text` with every byte percent-encoded that may not stand as it is in a
// query value ("&", "#", "%", "+", space, controls, non-ASCII and the rest);
// what may stand, an IPv6 host's brackets among it, is left as it is.
std::string encode_query_value(std::string_view text);

// The address of the embedded frontend's entry document for `target`, whose
// text goes percent-encoded in the "ws" parameter, or "wss" for a wss target.
std::string default_frontend_address(const InspectorTarget& target);

// The page that shows several targets (--run, --all): the frontend's Node
// page, whose main connection the target hub page script plays; it knows the
// page by the marker in its "ws" parameter.
inline constexpr std::string_view kTargetHubMarker = "vorpel-hub";
std::string target_hub_frontend_address();
// Whether the window shows that page, in either spelling: only then is the
// hub's script put into it.
bool is_target_hub_address(std::string_view address);

// Every "{ws}" in `template_text` replaced by `target`, left to right.
std::string expand_frontend_template(std::string_view template_text, std::string_view target);

// The override variable's template, with the target's text as it is, when
// set; else the default address.
std::string build_frontend_address(const InspectorTarget& target,
                                   const std::optional<std::string>& override_template);
std::string build_frontend_address(const InspectorTarget& target);

// "http://devtools.REST" becomes "devtools://REST"; anything else is unchanged.
std::string to_frontend_scheme_form(std::string_view address);

// "devtools://REST" becomes "http://devtools.REST"; anything else is unchanged.
std::string to_frontend_http_form(std::string_view address);
