#pragma once

#include <string>
#include <string_view>

// Case folding of ASCII letters only: protocol names are ASCII, and bytes
// outside it stay as they are whatever the locale.
char ascii_lower(char c);
std::string ascii_lowercase(std::string_view text);
bool equals_ignoring_ascii_case(std::string_view a, std::string_view b);
