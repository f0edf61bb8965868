#include "http_response_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using State = HttpResponseReader::State;

TEST(HttpResponseReaderTest, DeclaredBodyLength) {
  const std::pair<std::string_view, std::optional<size_t>> cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 12", 12},
      {"HTTP/1.1 200 OK\r\ncontent-length:0", 0},
      {"HTTP/1.1 200 OK\nCONTENT-LENGTH: \t7 \r\nX: y", 7},
      {"HTTP/1.1 200 OK\r\nX-Content-Length: 5", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: x", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: +5", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: -1", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5 6", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length:", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999", std::nullopt},
      {"Content-Length: 5", std::nullopt},  // a status line, not a field
      {"HTTP/1.1 200 OK", std::nullopt},
  };
  for (const auto& [head, length] : cases) {
    EXPECT_EQ(http_declared_body_length(head), length) << testing::PrintToString(head);
  }
}

TEST(HttpResponseReaderTest, EndsWhereTheHeadSays) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    size_t limit;
    State last;         // after the last chunk
    std::string taken;  // what take() gives afterwards
  };
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";
  const Case cases[] = {
      {"whole in one", {head + "[]"}, 1000, State::kComplete, head + "[]"},
      {"separator split",
       {"HTTP/1.1 200 OK\r\nContent-Length: 2\r", "\n\r", "\n[", "]"},
       1000,
       State::kComplete,
       head + "[]"},
      {"byte by byte head", {"H", "\r", "\n", "\r", "\n"}, 1000, State::kMore, "H\r\n\r\n"},
      {"body still short", {head + "["}, 1000, State::kMore, head + "["},
      {"bytes past the body are dropped", {head + "[]xyz"}, 1000, State::kComplete, head + "[]"},
      {"empty body",
       {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"},
       1000,
       State::kComplete,
       "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"},
      {"no length: only the close ends it",
       {"HTTP/1.0 200 OK\r\n\r\n[]"},
       1000,
       State::kMore,
       "HTTP/1.0 200 OK\r\n\r\n[]"},
      {"length in the body is no field",
       {"HTTP/1.0 200 OK\r\n\r\nContent-Length: 1\r\n\r\nx"},
       1000,
       State::kMore,
       "HTTP/1.0 200 OK\r\n\r\nContent-Length: 1\r\n\r\nx"},
      {"declared body above the limit",
       {"HTTP/1.0 200 OK\r\nContent-Length: 990\r\n\r\n"},
       1000,
       State::kTooLarge,
       ""},
      {"received bytes above the limit",
       {std::string(600, 'a'), std::string(600, 'a')},
       1000,
       State::kTooLarge,
       ""},
      {"exactly the limit", {std::string(1000, 'a')}, 1000, State::kMore, std::string(1000, 'a')},
  };
  for (const Case& c : cases) {
    HttpResponseReader reader(c.limit);
    State state = State::kMore;
    for (const std::string& chunk : c.chunks) state = reader.append(chunk);
    EXPECT_EQ(state, c.last) << c.name;
    if (state != State::kTooLarge) {
      EXPECT_EQ(std::move(reader).take(), c.taken) << c.name;
    }
  }
}

}  // namespace
