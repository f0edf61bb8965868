#include "granted_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(GrantedFoldersTest, PathWithin) {
  struct Case {
    const char* folder;
    const char* path;
    bool ignore_case;
    bool within;
  };
  const Case cases[] = {
      {"/a", "/a", false, true},
      {"/a", "/a/b", false, true},
      {"/a/", "/a/b", false, true},
      {"/a", "/ab", false, false},
      {"/a/b", "/a", false, false},
      {"/", "/x/y", false, true},
      {"/A", "/a/b", false, false},
      {"C:/Work", "c:/work/app.ts", true, true},
      {"C:/Work", "c:/workshop/app.ts", true, false},
      {"C:/", "C:/x", true, true},
      {"", "/a", false, false},
      {"/a", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(path_within(c.folder, c.path, c.ignore_case), c.within)
        << c.folder << " holds " << c.path;
  }
}

// A workspace with links in and out of it, and a neighbour whose name starts
// like it.
class GrantedFoldersDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "ws/sub");
    fs::create_directories(root_ / "outside");
    fs::create_directories(root_ / "ws2");
    for (const char* name : {"ws/app.js", "ws/sub/x.js", "outside/secret.map", "ws2/f"}) {
      std::ofstream(root_ / name) << name;
    }
    fs::create_directory_symlink("../outside", root_ / "ws/link_out");
    fs::create_symlink("../outside/secret.map", root_ / "ws/file_out");
    fs::create_symlink("sub/x.js", root_ / "ws/file_in");
    fs::create_directory_symlink("ws", root_ / "ws_link");
  }
  std::string at(const std::string& relative) const { return folder_.at(relative); }

  TempFolder folder_{"vorpel-granted"};
  fs::path root_ = folder_.path();
};

TEST_F(GrantedFoldersDiskTest, ResolveExisting) {
  GrantedFolders granted(native_file_system());
  // Given through a link, the folder is kept as what it names.
  auto kept = granted.grant(at("ws_link"));
  ASSERT_TRUE(kept) << kept.error().report();
  EXPECT_EQ(kept.value(), at("ws"));

  struct Case {
    std::string path;
    std::optional<std::string> real;
  };
  const Case cases[] = {
      {at("ws/app.js"), at("ws/app.js")},
      {at("ws"), at("ws")},
      {at("ws/sub/../app.js"), at("ws/app.js")},
      {at("ws_link/app.js"), at("ws/app.js")},
      {at("ws/file_in"), at("ws/sub/x.js")},
      {at("ws/../outside/secret.map"), std::nullopt},
      {at("outside/secret.map"), std::nullopt},
      {at("ws/link_out/secret.map"), std::nullopt},
      {at("ws/file_out"), std::nullopt},
      {at("ws2/f"), std::nullopt},
      {at("ws/missing.js"), std::nullopt},
      {"", std::nullopt},
      {"ws/app.js", std::nullopt},
      {at("ws/") + std::string(5000, 'a'), std::nullopt},
      {at("ws/") + std::string(300, 'a') + "/../app.js", std::nullopt},
      {"/", std::nullopt},
  };
  for (const Case& c : cases) {
    auto real = granted.resolve_existing(c.path);
    EXPECT_EQ(real.ok(), c.real.has_value()) << c.path.substr(0, 200);
    if (real && c.real) {
      EXPECT_EQ(real.value(), *c.real);
    }
  }
}

TEST_F(GrantedFoldersDiskTest, ResolveNew) {
  GrantedFolders granted(native_file_system());
  ASSERT_TRUE(granted.grant(at("ws")));
  struct Case {
    std::string path;
    std::optional<std::string> target;
  };
  const Case cases[] = {
      {at("ws/new.ts"), at("ws/new.ts")},
      {at("ws/sub/new.ts"), at("ws/sub/new.ts")},
      {at("ws_link/new.ts"), at("ws/new.ts")},
      {at("ws/file_out"), at("ws/file_out")},  // the link itself, not where it points
      {at("ws/link_out/new.ts"), std::nullopt},
      {at("outside/new.ts"), std::nullopt},
      {at("ws/missing/new.ts"), std::nullopt},
      {at("ws/.."), std::nullopt},
      {at("ws/."), std::nullopt},
      {at("ws/"), std::nullopt},
      {at("ws/a\\..\\..\\x"), std::nullopt},
      {"new.ts", std::nullopt},
  };
  for (const Case& c : cases) {
    auto target = granted.resolve_new(c.path);
    EXPECT_EQ(target.ok(), c.target.has_value()) << c.path;
    if (target && c.target) {
      EXPECT_EQ(target.value(), *c.target);
    }
  }
}

TEST_F(GrantedFoldersDiskTest, GrantAndRevoke) {
  GrantedFolders granted(native_file_system());
  EXPECT_FALSE(granted.grant(at("ws/app.js")));
  EXPECT_FALSE(granted.grant(at("nowhere")));
  ASSERT_TRUE(granted.grant(at("ws")));
  ASSERT_TRUE(granted.grant(at("ws_link")));
  EXPECT_EQ(granted.folders().size(), 1u);
  ASSERT_TRUE(granted.grant(at("outside")));
  EXPECT_TRUE(granted.resolve_existing(at("ws/link_out/secret.map")));
  granted.revoke(at("outside"));
  EXPECT_FALSE(granted.resolve_existing(at("ws/link_out/secret.map")));
  EXPECT_TRUE(granted.resolve_existing(at("ws/app.js")));
}

TEST_F(GrantedFoldersDiskTest, WorkspaceFolderCheck) {
  EXPECT_FALSE(check_workspace_folder(native_file_system(), at("ws")));
  EXPECT_FALSE(check_workspace_folder(native_file_system(), at("ws_link")));
  auto file = check_workspace_folder(native_file_system(), at("ws/app.js"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->report(), "Error: " + at("ws/app.js") +
                                " cannot be used as the workspace folder\n\nCaused by:\n"
                                "    Not a directory (os error 20)\n");
  EXPECT_TRUE(check_workspace_folder(native_file_system(), at("ws/file_out")));
}

}  // namespace
