// Base64 (RFC 4648, with padding): how file bytes travel inside the page's
// JSON messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string base64_encode(std::string_view bytes);
// Nothing when the text is not padded base64 of the standard alphabet.
std::optional<std::string> base64_decode(std::string_view text);
