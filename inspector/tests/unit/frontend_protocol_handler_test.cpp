#include "frontend_protocol_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "frontend_assets.h"
#include "frontend_assets_test_support.h"

namespace {

using namespace std::string_view_literals;

ProtocolRequest get(std::string_view path) {
  ProtocolRequest request;
  request.method = "GET";
  request.uri.scheme = "devtools";
  request.uri.authority = "devtools.localhost";
  request.uri.path = path;
  return request;
}

const FrontendAsset* record(std::string_view path) {
  for (const FrontendAsset& asset : frontend_asset_records()) {
    if (asset.path == path) return &asset;
  }
  return nullptr;
}

// Checks a response against the record it must serve, or the 404 when `expected` is null.
void expect_response(const ProtocolResponse& response, const FrontendAsset* expected,
                     std::string_view content_type, std::string_view context) {
  ASSERT_EQ(response.headers.size(), 1u) << context;
  EXPECT_EQ(response.headers[0].name, "content-type") << context;
  EXPECT_EQ(response.headers[0].value, content_type) << context;
  if (expected == nullptr) {
    EXPECT_EQ(response.status, 404) << context;
    EXPECT_EQ(response.body, "Not Found") << context;
  } else {
    EXPECT_EQ(response.status, 200) << context;
    // The very bytes of the table, not a copy.
    EXPECT_EQ(response.body.data(), expected->contents.data()) << context;
    EXPECT_EQ(response.body.size(), expected->contents.size()) << context;
  }
}

TEST(FrontendProtocolHandler, ServesEveryRecordFromTheTable) {
  for (const FrontendAsset& asset : frontend_asset_records()) {
    std::string path = "/";
    path.append(asset.path);
    const ProtocolResponse response = FrontendProtocolHandler("", get(path));
    expect_response(response, &asset, frontend_content_type(asset.path), asset.path);
  }
}

TEST(FrontendProtocolHandler, AnswersByPathOnly) {
  constexpr std::string_view kHtml = "text/html; charset=utf-8";
  constexpr std::string_view kJs = "text/javascript; charset=utf-8";
  constexpr std::string_view kText = "text/plain; charset=utf-8";
  struct Case {
    std::string_view path;
    const char* served;  // nullptr: 404
    std::string_view content_type;
  };
  const Case cases[] = {
      {"", "js_app.html", kHtml},
      {"/", "js_app.html", kHtml},
      {"//", "js_app.html", kHtml},
      {"///js_app.html", "js_app.html", kHtml},
      {"/entrypoints/js_app/js_app.js", "entrypoints/js_app/js_app.js", kJs},
      {"/core/i18n/locales/en-US.json", "core/i18n/locales/en-US.json",
       "application/json; charset=utf-8"},
      {"/Images/3d-center.svg", "Images/3d-center.svg", "image/svg+xml"},
      {"/Images/touchCursor.png", "Images/touchCursor.png", "image/png"},
      {"/Images/nodeIcon.avif", "Images/nodeIcon.avif", "image/avif"},
      {"/models/issues_manager/descriptions/CoepCorpNotSameSite.md",
       "models/issues_manager/descriptions/CoepCorpNotSameSite.md", "text/markdown; charset=utf-8"},
      {"/core\\common\\common.js", "core/common/common.js", kJs},
      {"/js_app.html/", nullptr, kText},
      {"/JS_APP.HTML", nullptr, kText},
      {"/core//common/common.js", nullptr, kText},
      {"/core/common/../common/common.js", nullptr, kText},
      {"/./js_app.html", nullptr, kText},
      {"/js%5Fapp.html", nullptr, kText},
      {"/\\js_app.html", nullptr, kText},
      {"/Images", nullptr, kText},
      {"/no_such_file.js", nullptr, kText},
  };
  for (const Case& c : cases) {
    const FrontendAsset* expected = c.served ? record(c.served) : nullptr;
    if (c.served) {
      ASSERT_NE(expected, nullptr) << c.served;
    }
    expect_response(FrontendProtocolHandler("", get(c.path)), expected, c.content_type, c.path);
  }
}

TEST(FrontendProtocolHandler, IgnoresMethodHeadersQueryAndBody) {
  ProtocolRequest request;
  request.method = "POST";
  request.uri = parse_protocol_uri(
      "devtools://devtools.localhost/js_app.html?ws=127.0.0.1:9229/"
      "0f2c&experiments=true&v8only=true");
  request.headers = {{"range", "bytes=0-1"}, {"if-none-match", "\"x\""}};
  request.body = {'a', 'b', 'c'};
  expect_response(FrontendProtocolHandler("webview", std::move(request)), record("js_app.html"),
                  "text/html; charset=utf-8", "POST");
}

// Whatever the shape of the path, the answer is the record of exactly that key or the 404.
TEST(FrontendProtocolHandler, NoPathReachesAnythingButARecordOrTheNotFound) {
  std::map<std::string, const FrontendAsset*, std::less<>> paths;
  for (const FrontendAsset& asset : frontend_asset_records()) paths.emplace(asset.path, &asset);
  const auto records = frontend_asset_records();
  const std::string_view pieces[] = {"/",        "//",  "\\",  ".",    "..",     "./",  "../",
                                     "%2e",      "%2F", "%5C", "\0"sv, "?",      "#",   "\xff",
                                     "\xc3\xa9", "A",   "js",  ".js",  "Images", "html"};
  std::mt19937 random(20260621);
  for (int round = 0; round < 20000; ++round) {
    std::string path(records[random() % records.size()].path);
    const int edits = static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::string_view piece = pieces[random() % std::size(pieces)];
      const size_t at = random() % (path.size() + 1);
      switch (random() % 4) {
        case 0:
          path.insert(at, piece);
          break;
        case 1:
          if (at < path.size()) path.erase(at, 1 + random() % 4);
          break;
        case 2:
          if (at < path.size()) path[at] = static_cast<char>(random() % 256);
          break;
        default:
          path.append(static_cast<size_t>(random() % 3 == 0 ? 5000 : 3),
                      path.empty() ? '/' : path[0]);
          break;
      }
    }
    const std::string uri_path = std::string(random() % 3, '/') + path;
    const ProtocolResponse response = FrontendProtocolHandler("", get(uri_path));

    std::string key = uri_path.substr(std::min(uri_path.find_first_not_of('/'), uri_path.size()));
    if (key.empty()) key = "js_app.html";
    std::replace(key.begin(), key.end(), '\\', '/');
    const auto hit = paths.find(key);
    expect_response(response, hit == paths.end() ? nullptr : hit->second,
                    hit == paths.end() ? "text/plain; charset=utf-8" : frontend_content_type(key),
                    uri_path);
    if (HasFailure()) return;
  }
}

TEST(FrontendContentType, ByTextAfterTheLastDot) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a/b.js", "text/javascript; charset=utf-8"},
      {"a.mjs", "text/javascript; charset=utf-8"},
      {"a.md", "text/markdown; charset=utf-8"},
      {"a.css", "text/css; charset=utf-8"},
      {"a.svg", "image/svg+xml"},
      {"a.png", "image/png"},
      {"a.html", "text/html; charset=utf-8"},
      {"a.json", "application/json; charset=utf-8"},
      {"a.avif", "image/avif"},
      {"a.wasm", "application/wasm"},
      {"a.tar.woff2", "font/woff2"},
      {"js", "text/javascript; charset=utf-8"},  // no dot: the whole path is the extension
      {"a.JS", "application/octet-stream"},
      {"a.", "application/octet-stream"},
      {"a.b.c", "application/octet-stream"},
      {"dir.js/file", "application/octet-stream"},
      {"a.jsx", "application/octet-stream"},
      {"a.woff22", "application/octet-stream"},
      {"", "application/octet-stream"},
  };
  for (const auto& [path, type] : cases) EXPECT_EQ(frontend_content_type(path), type) << path;
}

TEST(ParseProtocolUri, SplitsSchemeAuthorityPathAndQuery) {
  struct Case {
    std::string_view uri;
    ProtocolUri expected;
  };
  const Case cases[] = {
      {"devtools://devtools.localhost/js_app.html?ws=h:1/x&v8only=true",
       {"devtools", "devtools.localhost", "/js_app.html", "ws=h:1/x&v8only=true"}},
      {"devtools://devtools.localhost", {"devtools", "devtools.localhost", "", ""}},
      {"devtools://host//a/b?", {"devtools", "host", "//a/b", ""}},
      {"devtools://host/a#frag?x", {"devtools", "host", "/a", ""}},
      {"devtools://host/a?q=1#frag", {"devtools", "host", "/a", "q=1"}},
      {"/plain/path", {"", "", "/plain/path", ""}},
  };
  for (const Case& c : cases) {
    const ProtocolUri uri = parse_protocol_uri(c.uri);
    EXPECT_EQ(uri.scheme, c.expected.scheme) << c.uri;
    EXPECT_EQ(uri.authority, c.expected.authority) << c.uri;
    EXPECT_EQ(uri.path, c.expected.path) << c.uri;
    EXPECT_EQ(uri.query, c.expected.query) << c.uri;
  }
}

// Addresses that name files outside the table, in every form a web page could
// ask for them, reach nothing: the handler never falls back to the file system.
TEST(FrontendProtocolHandler, ServesNothingFromOutsideTheTable) {
  const std::string on_disk = std::string(VORPEL_FRONTEND_DIR) + "/js_app.html";
  const std::string uris[] = {
      "devtools://devtools.localhost/../../../../etc/passwd",
      "devtools://devtools.localhost//etc/passwd",
      "devtools://devtools.localhost/..\\..\\etc\\passwd",
      "devtools://devtools.localhost/%2e%2e/%2e%2e/etc/passwd",
      "devtools://devtools.localhost/%2Fetc%2Fpasswd",
      "devtools://devtools.localhost" + on_disk,
      "devtools://devtools.localhost/" + on_disk,
      "file://" + on_disk,
      "devtools://devtools.localhost/Images/../js_app.html",
      "devtools://devtools.localhost/js_app.html%00.png",
      std::string("devtools://devtools.localhost/js_app.html\0.png", 46),
      "devtools://devtools.localhost/~/.bashrc",
      "devtools://devtools.localhost/proc/self/environ",
  };
  for (const std::string& uri : uris) {
    ProtocolRequest request;
    request.uri = parse_protocol_uri(uri);
    expect_response(FrontendProtocolHandler("", std::move(request)), nullptr,
                    "text/plain; charset=utf-8", uri);
  }
}

}  // namespace
