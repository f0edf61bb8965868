// The window's platform-free pieces: address forms, events.
#include <gtest/gtest.h>

#include "frontend_address.h"
#include "inspector_event_handler.h"

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

TEST(InspectorEventHandlerTest, CloseExitsWithStatusZero) {
  LoopControl control;
  control.exit_status = 7;
  inspector_event_handler(InspectorEvent::kCloseRequested, control);
  EXPECT_EQ(control.mode, LoopControl::Mode::kExit);
  EXPECT_EQ(control.exit_status, 0);
}

}  // namespace
