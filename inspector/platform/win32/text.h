// UTF-8 and UTF-16 conversions for the Windows platform layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Strict: nothing when the text holds an unpaired surrogate.
std::optional<std::string> utf8_from_utf16(std::wstring_view text);

// Invalid UTF-8 sequences become U+FFFD.
std::wstring utf16_from_utf8(std::string_view text);
