// The two spellings of a frontend address: the http form that the launcher
// prints and WebView2 intercepts, and the scheme form the handler receives.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kFrontendHttpPrefix = "http://devtools.";
inline constexpr std::string_view kFrontendSchemePrefix = "devtools://";

// "http://devtools.REST" becomes "devtools://REST"; anything else is unchanged.
std::string to_frontend_scheme_form(std::string_view address);

// "devtools://REST" becomes "http://devtools.REST"; anything else is unchanged.
std::string to_frontend_http_form(std::string_view address);
