// The window's platform-free pieces: address forms, page language, events.
#include <gtest/gtest.h>

#include "frontend_scheme_address.h"
#include "inspector_event_handler.h"
#include "page_language.h"

namespace {

TEST(FrontendSchemeAddressTest, BothDirections) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // address, scheme form, http form
      {"http://devtools.localhost/js_app.html?ws=a:1/b",
       "devtools://localhost/js_app.html?ws=a:1/b",
       "http://devtools.localhost/js_app.html?ws=a:1/b"},
      {"devtools://localhost/x", "devtools://localhost/x", "http://devtools.localhost/x"},
      {"http://devtools", "http://devtools", "http://devtools"},
      {"HTTP://devtools.localhost/", "HTTP://devtools.localhost/", "HTTP://devtools.localhost/"},
      {"http://other/?u=http://devtools.x", "http://other/?u=http://devtools.x",
       "http://other/?u=http://devtools.x"},
      {"", "", ""},
  };
  for (const auto& [address, scheme_form, http_form] : cases) {
    EXPECT_EQ(to_frontend_scheme_form(address), scheme_form) << address;
    EXPECT_EQ(to_frontend_http_form(address), http_form) << address;
  }
}

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

TEST(InspectorEventHandlerTest, OnlyCloseExits) {
  LoopControl control;
  control.mode = LoopControl::Mode::kExit;
  control.exit_status = 7;
  inspector_event_handler(InspectorEvent::kOther, control);
  EXPECT_EQ(control.mode, LoopControl::Mode::kWait);
  inspector_event_handler(InspectorEvent::kCloseRequested, control);
  EXPECT_EQ(control.mode, LoopControl::Mode::kExit);
  EXPECT_EQ(control.exit_status, 0);
}

}  // namespace
