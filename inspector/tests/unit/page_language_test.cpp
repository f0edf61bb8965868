// The page's language from the process's locale.
#include <gtest/gtest.h>

#include "gtk/page_language.h"

namespace {

TEST(PageLanguageTest, FromLocale) {
  const std::pair<const char*, const char*> cases[] = {
      {"en_US.UTF-8", "en-US"},
      {"de_DE", "de-DE"},
      {"fr", "fr"},
      {"sr_RS@latin", "sr-RS"},
      {"ast_ES.UTF-8", "ast-ES"},
      {"es_419.UTF-8", "es-419"},
      {"C", "en-US"},
      {"C.UTF-8", "en-US"},
      {"POSIX", "en-US"},
      {"", "en-US"},
      {"e1_US", "en-US"},
      {"en_", "en-US"},
      {"en_U S", "en-US"},
      {"toolong_XX", "en-US"},
  };
  for (const auto& [locale, language] : cases) {
    EXPECT_EQ(page_language_from_locale(locale), language) << locale;
  }
}

}  // namespace
