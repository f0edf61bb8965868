#include "gtk/page_language.h"

namespace {

bool all_of_class(std::string_view text, bool (*accept)(char)) {
  for (char c : text) {
    if (!accept(c)) return false;
  }
  return true;
}

bool is_alpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_alnum(char c) {
  return is_alpha(c) || (c >= '0' && c <= '9');
}

}  // namespace

std::string page_language_from_locale(std::string_view locale) {
  constexpr std::string_view kFallback = "en-US";
  // Drop ".codeset" and "@modifier".
  locale = locale.substr(0, locale.find_first_of(".@"));
  std::string_view language = locale.substr(0, locale.find('_'));
  if (language.size() < 2 || language.size() > 3 || !all_of_class(language, is_alpha)) {
    return std::string(kFallback);
  }
  std::string tag(language);
  if (language.size() < locale.size()) {
    std::string_view region = locale.substr(language.size() + 1);
    if (region.size() < 2 || region.size() > 8 || !all_of_class(region, is_alnum)) {
      return std::string(kFallback);
    }
    tag += '-';
    tag += region;
  }
  return tag;
}
