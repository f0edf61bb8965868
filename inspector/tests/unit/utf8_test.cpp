#include "utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Test, Validity) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain ascii text that is longer than eight bytes", true},
      {"vorpel \xE2\x80\x94 script inspector", true},
      {"\xF0\x9F\x98\x80", true},      // U+1F600
      {"\xF4\x8F\xBF\xBF", true},      // U+10FFFF
      {"\xEF\xBB\xBF", true},          // BOM
      {std::string("a\0b", 3), true},  // NUL is valid UTF-8
      {"\x80", false},                 // lone continuation
      {"\xC0\xAF", false},             // overlong "/"
      {"\xC1\xBF", false},             // overlong
      {"\xE0\x80\xAF", false},         // overlong
      {"\xF0\x80\x80\xAF", false},     // overlong
      {"\xED\xA0\x80", false},         // surrogate U+D800
      {"\xF4\x90\x80\x80", false},     // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xFF", false},
      {"\xE2\x80", false},          // truncated at end
      {"abcdefgh\xE2\x80", false},  // truncated after a fast-path chunk
      {"abcdefghijklmno\xC3"
       "(",
       false},  // bad continuation
      {"12345678\xC3\xA9\xC3\xA9"
       "abcdefgh",
       true},
  };
  for (const auto& [text, valid] : cases) {
    EXPECT_EQ(is_valid_utf8(text), valid) << testing::PrintToString(text);
  }
}

}  // namespace
