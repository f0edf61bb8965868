// The name a save dialog proposes never leads out of the chosen folder.
#include "gtk/save_file_name.h"

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
  };
  for (const auto& [suggested, name] : cases)
    EXPECT_EQ(save_file_name(suggested), name) << suggested;
}

}  // namespace
