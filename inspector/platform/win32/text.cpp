#include "win32/text.h"

#include <cstdint>

namespace {

void append_utf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

void append_utf16(std::wstring& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out += static_cast<wchar_t>(code_point);
  } else {
    code_point -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (code_point >> 10));
    out += static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF));
  }
}

bool is_high_surrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::optional<std::string> utf8_from_utf16(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t unit = static_cast<uint16_t>(text[i]);
    if (is_high_surrogate(unit)) {
      if (i + 1 == text.size()) return std::nullopt;
      char32_t low = static_cast<uint16_t>(text[i + 1]);
      if (!is_low_surrogate(low)) return std::nullopt;
      append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      ++i;
    } else if (is_low_surrogate(unit)) {
      return std::nullopt;
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::wstring utf16_from_utf8(std::string_view text) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length;
    char32_t code_point;
    char32_t minimum;
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code_point = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code_point = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code_point = lead & 0x07, minimum = 0x10000;
    } else {
      out += static_cast<wchar_t>(kReplacement);
      ++i;
      continue;
    }
    size_t taken = 1;
    while (taken < length && i + taken < text.size() &&
           (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
      code_point = (code_point << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
      ++taken;
    }
    const bool valid = taken == length && code_point >= minimum && code_point <= 0x10FFFF &&
                       !(code_point >= 0xD800 && code_point <= 0xDFFF);
    append_utf16(out, valid ? code_point : kReplacement);
    i += taken;
  }
  return out;
}
