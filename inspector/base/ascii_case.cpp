#include "ascii_case.h"

#include <algorithm>

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ascii_lowercase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = ascii_lower(c);
  return result;
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, {}, ascii_lower, ascii_lower);
}
