// Which links leave the program for the user's browser.
#include "gtk/link_policy.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kFrontend = "devtools://localhost/js_app.html?ws=127.0.0.1:9229/x";

TEST(LinkPolicyTest, NewWindowsOpenOnlyWebAddresses) {
  const std::pair<const char*, LinkAction> cases[] = {
      {"https://developer.chrome.com/docs/devtools", LinkAction::kOpenInBrowser},
      {"http://example.com", LinkAction::kOpenInBrowser},
      {"HTTPS://Example.com/a", LinkAction::kOpenInBrowser},
      {"devtools://localhost/js_app.html", LinkAction::kIgnore},
      {"file:///etc/passwd", LinkAction::kIgnore},
      {"javascript:alert(1)", LinkAction::kIgnore},
      {"about:blank", LinkAction::kIgnore},
      {"blob:devtools://localhost/5e1f", LinkAction::kIgnore},
      {"mailto:a@example.com", LinkAction::kIgnore},
      {"https:example.com", LinkAction::kIgnore},
      {"https://", LinkAction::kIgnore},
      {"httpx://example.com", LinkAction::kIgnore},
      {"", LinkAction::kIgnore},
  };
  for (const auto& [uri, action] : cases) EXPECT_EQ(new_window_link_action(uri), action) << uri;
}

TEST(LinkPolicyTest, ClickedLinksLeaveOnlyForOtherWebOrigins) {
  const std::tuple<const char*, const char*, LinkAction> cases[] = {
      // link, start address, action
      {"https://nodejs.org/api/", kFrontend, LinkAction::kOpenInBrowser},
      {"http://127.0.0.1:9229/json", kFrontend, LinkAction::kOpenInBrowser},
      {"devtools://localhost/js_app.html?panel=sources", kFrontend, LinkAction::kFollow},
      {"about:blank", kFrontend, LinkAction::kFollow},
      // A frontend served from elsewhere may move within its own site.
      {"http://localhost:8000/other.html", "http://localhost:8000/app.html?ws=x",
       LinkAction::kFollow},
      {"HTTP://LOCALHOST:8000/", "http://localhost:8000/app.html", LinkAction::kFollow},
      {"http://localhost:80/a", "http://localhost/app.html", LinkAction::kFollow},
      {"https://user@site.example/a", "https://site.example:443/app.html", LinkAction::kFollow},
      {"http://localhost:8001/", "http://localhost:8000/app.html", LinkAction::kOpenInBrowser},
      {"https://localhost:8000/", "http://localhost:8000/app.html", LinkAction::kOpenInBrowser},
      {"http://localhost:8000.evil.example/", "http://localhost:8000/app.html",
       LinkAction::kOpenInBrowser},
  };
  for (const auto& [uri, start, action] : cases) {
    EXPECT_EQ(clicked_link_action(uri, start), action) << uri << " from " << start;
  }
}

}  // namespace
