// The name a save dialog proposes never leads out of the chosen folder.
#include "save_file_name.h"

#include <gtest/gtest.h>

namespace {

TEST(SaveFileNameTest, LastComponentOrDefault) {
  const std::pair<const char*, const char*> cases[] = {
      {"Heap-20261208T160000.heapsnapshot", "Heap-20261208T160000.heapsnapshot"},
      {"CPU-profile.cpuprofile", "CPU-profile.cpuprofile"},
      {"../../.bashrc", ".bashrc"},
      {"/etc/passwd", "passwd"},
      {"a\\b\\c.txt", "c.txt"},
      {"folder/", "download"},
      {"..", "download"},
      {".", "download"},
      {"", "download"},
      // What the workspace host is asked to save: a URL, or a name.
      {"file:///a/b/Profile-1.cpuprofile?x", "Profile-1.cpuprofile"},
      {"snippet.js", "snippet.js"},
      {"http://localhost:3000/app.js#L1", "app.js"},
      {"http://localhost:3000/a/..?x", "download"},
      {"C:name.txt", "name.txt"},
      {"x.txt:stream", "stream"},
  };
  for (const auto& [suggested, name] : cases)
    EXPECT_EQ(save_file_name(suggested), name) << suggested;
}

}  // namespace
