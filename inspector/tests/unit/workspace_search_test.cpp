#include "workspace_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

class WorkspaceSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "a/b");
    write("a/plain.js", "const findMe = 1;\n");
    write("a/b/deep.txt", "FINDME in capitals\n");
    write("other.js", "nothing here\n");
    // The word straddles the first 4 KiB and the next 64 KiB, where reads end.
    write("big.js", std::string((size_t{4} << 10) - 3, 'x') + "findme" +
                        std::string((size_t{64} << 10) - 6, 'y') + "findnot\n");
    write("uni.txt",
          "\xC3\x9Cn\xC3\xAF"
          "code findme\n");  // "Ünïcode"
    fs::create_symlink("a/plain.js", root_ / "link.js");
  }
  void write(const std::string& relative, const std::string& text) {
    write_file(root_ / relative, text);
  }
  std::vector<std::string> search(std::string_view query, size_t most = 100) {
    std::vector<std::string> found;
    for (const std::string& path :
         search_candidates(native_file_system(), root_.string(), query, most)) {
      found.push_back(fs::path(path).lexically_relative(root_).generic_string());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  TempFolder folder_{"vorpel-search"};
  fs::path root_ = folder_.path();
};

TEST_F(WorkspaceSearchTest, KeepsTheFilesThatCanHoldTheQuery) {
  using Names = std::vector<std::string>;
  const Names every{"a/b/deep.txt", "a/plain.js", "big.js", "other.js", "uni.txt"};
  struct Case {
    const char* query;
    Names found;
  };
  const Case cases[] = {
      {"findme", {"a/b/deep.txt", "a/plain.js", "big.js", "uni.txt"}},
      {"FindMe", {"a/b/deep.txt", "a/plain.js", "big.js", "uni.txt"}},
      {"nowhere", {}},
      {"yfindno", {"big.js"}},
      // A regular expression search asks with no words: every file, links
      // still not followed.
      {"", every},
      // Only the ASCII runs are required; "ü" and "Ü" may fold either way.
      {"\xC3\xBCn\xC3\xAF"
       "code",
       {"uni.txt"}},
      {"\xC3\xA9", every},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(search(c.query), c.found) << "query: " << c.query;
  }
}

TEST_F(WorkspaceSearchTest, StopsAtTheMostFiles) {
  EXPECT_EQ(search("", 2).size(), 2u);
}

}  // namespace
