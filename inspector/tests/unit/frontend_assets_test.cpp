#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "frontend_assets.h"
#include "frontend_assets_test_support.h"
#include "support/test_files.h"

#ifdef VORPEL_TEST_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace fs = std::filesystem;
using namespace std::string_view_literals;

namespace {

// The frontend directory as the test itself reads it: relative path -> absolute path.
std::map<std::string, fs::path> frontend_files() {
  std::map<std::string, fs::path> files;
  const fs::path root = VORPEL_FRONTEND_DIR;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files.emplace(entry.path().lexically_relative(root).generic_string(), entry.path());
    }
  }
  return files;
}

bool unsigned_less(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

TEST(FrontendAssetTable, RecordsAreTheDirectorysFilesByteForByte) {
  const std::map<std::string, fs::path> files = frontend_files();
  const auto records = frontend_asset_records();
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(records.size(), files.size());
  for (const FrontendAsset& record : records) {
    const auto file = files.find(std::string(record.path));
    ASSERT_NE(file, files.end()) << record.path;
    EXPECT_EQ(record.contents, read_file(file->second)) << record.path;

    const auto written = fs::last_write_time(file->second);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(written).time_since_epoch());
    ASSERT_TRUE(record.modified_time.has_value()) << record.path;
    EXPECT_EQ(*record.modified_time, static_cast<uint64_t>(seconds.count())) << record.path;
  }
}

TEST(FrontendAssetTable, PathsAreStrictlyAscendingAndWellFormed) {
  const auto records = frontend_asset_records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.front().path, "Images/3d-center.svg");
  EXPECT_EQ(records.back().path, "worker_app.html");
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string_view path = records[i].path;
    if (i > 0) {
      EXPECT_TRUE(unsigned_less(records[i - 1].path, path)) << path;
    }
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(path.find('\\'), std::string_view::npos) << path;
    std::string slashed = "/";
    slashed.append(path).append("/");
    for (const char* bad : {"//", "/./", "/../"}) {
      EXPECT_EQ(slashed.find(bad), std::string::npos) << path;
    }
  }
}

#ifdef VORPEL_TEST_HAVE_OPENSSL
TEST(FrontendAssetTable, DigestsMatchContents) {
  for (const FrontendAsset& record : frontend_asset_records()) {
    std::array<uint8_t, 32> digest{};
    unsigned int length = 0;
    ASSERT_EQ(EVP_Digest(record.contents.data(), record.contents.size(), digest.data(), &length,
                         EVP_sha256(), nullptr),
              1);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(digest, record.sha256) << record.path;
  }
}
#endif

TEST(FrontendAssetTable, EveryRecordIsFoundAsItselfAlsoWithBackslashes) {
  for (const FrontendAsset& record : frontend_asset_records()) {
    std::string backslashed(record.path);
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    for (const std::string_view key : {record.path, std::string_view(backslashed)}) {
      const auto found = FrontendAssetTable::lookup(key);
      ASSERT_TRUE(found.has_value()) << key;
      // A copy of the record whose contents still view the table's bytes.
      EXPECT_EQ(found->path.data(), record.path.data());
      EXPECT_EQ(found->contents.data(), record.contents.data());
      EXPECT_EQ(found->contents.size(), record.contents.size());
      EXPECT_EQ(found->sha256, record.sha256);
      EXPECT_EQ(found->modified_time, record.modified_time);
      EXPECT_EQ(found->created_time, record.created_time);
    }
  }
}

// Hits are covered record by record above; these keys differ from a path in one way only.
TEST(FrontendAssetTable, LookupDoesNotNormalise) {
  for (const std::string_view key : {"/js_app.html"sv, "\\js_app.html"sv, ""sv, "JS_APP.HTML"sv,
                                     "Images"sv, "Images/"sv, "js_app.html\0"sv, "./js_app.html"sv,
                                     "core/common/../common/common.js"sv, "js%5Fapp.html"sv}) {
    EXPECT_FALSE(FrontendAssetTable::lookup(key).has_value()) << key;
  }
}

}  // namespace
