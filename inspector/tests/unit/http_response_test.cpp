#include "http_response.h"

#include <gtest/gtest.h>

#include "target_list_client.h"

namespace {

TEST(HttpResponseTest, StatusLine) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"HTTP/1.1 200 OK\r\nA: b", "HTTP/1.1 200 OK"},
      {"HTTP/1.1 200 OK\nA: b", "HTTP/1.1 200 OK"},
      {"HTTP/1.1 200 OK", "HTTP/1.1 200 OK"},
      {"HTTP/1.1 200 OK\r", "HTTP/1.1 200 OK\r"},  // no "\n": the whole head
      {"x\r\r\ny", "x\r"},
      {"", ""},
  };
  for (const auto& [head, line] : cases) EXPECT_EQ(http_status_line(head), line);
}

TEST(HttpResponseTest, BodyOrError) {
  struct Case {
    std::string response;
    std::string body_or_error;
    bool ok;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n[{\"a\":1}]", "[{\"a\":1}]", true},
      {"HTTP/1.0 200 OK\r\n\r\n", "", true},
      {"HTTP/1.0 200 OK\r\n\r\nbody\r\n\r\nmore", "body\r\n\r\nmore", true},
      {"XX2000\r\n\r\nb", "b", true},
      {"HTTP/1.1 404 Not Found\r\n\r\n", "inspector returned non-200: HTTP/1.1 404 Not Found",
       false},
      {"HTTP/1.1 404 Not Found\r\nX: 200\r\n\r\n",
       "inspector returned non-200: HTTP/1.1 404 Not Found", false},
      {"\r\n\r\n[]", "inspector returned non-200: ", false},
      {"HTTP/1.1 200 OK\n\n[]", "malformed HTTP response from inspector", false},
      {"", "malformed HTTP response from inspector", false},
      {"HTTP/1.1 200 OK\r\n\r\n\xFF", "stream did not contain valid UTF-8", false},
      {"HTTP/1.1 200 \xC3\r\n\r\n[]", "stream did not contain valid UTF-8", false},
  };
  for (const Case& c : cases) {
    auto result = target_list_body(c.response);
    ASSERT_EQ(result.ok(), c.ok) << testing::PrintToString(c.response);
    if (c.ok) {
      EXPECT_EQ(result.value(), c.body_or_error);
    } else {
      EXPECT_EQ(result.error().messages(), std::vector<std::string>{c.body_or_error});
    }
  }
}

TEST(HttpResponseTest, RequestBytes) {
  EXPECT_EQ(target_list_request("[::1]:9229"),
            "GET /json HTTP/1.0\r\nHost: [::1]:9229\r\nAccept: application/json\r\n"
            "Connection: close\r\n\r\n");
}

}  // namespace
