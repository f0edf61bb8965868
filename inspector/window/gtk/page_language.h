// The language the web view reports to pages, from the user's locale.
#pragma once

#include <string>
#include <string_view>

// "de_DE.UTF-8" gives "de-DE"; "C", "POSIX" and anything that is not a
// language tag give "en-US" (the frontend refuses an invalid tag outright).
std::string page_language_from_locale(std::string_view locale);
