// Where the window keeps its data, by the XDG base directory rules.
#include "gtk/user_data_folder.h"

#include <gtest/gtest.h>

namespace {

TEST(UserDataFolderTest, XdgDataHomeThenHome) {
  using Maybe = std::optional<std::string_view>;
  const std::tuple<Maybe, Maybe, std::optional<std::string>> cases[] = {
      // XDG_DATA_HOME, HOME, folder
      {"/x/data", "/home/u", "/x/data/vorpel_inspector"},
      {"/x/data/", "/home/u", "/x/data/vorpel_inspector"},
      {"/", "/home/u", "/vorpel_inspector"},
      {std::nullopt, "/home/u", "/home/u/.local/share/vorpel_inspector"},
      {"", "/home/u/", "/home/u/.local/share/vorpel_inspector"},
      // A relative XDG_DATA_HOME is invalid and ignored.
      {"data", "/home/u", "/home/u/.local/share/vorpel_inspector"},
      {"./data", "/home/u", "/home/u/.local/share/vorpel_inspector"},
      {"/x/data", std::nullopt, "/x/data/vorpel_inspector"},
      {"/", "/", "/vorpel_inspector"},
      {std::nullopt, "/", "/.local/share/vorpel_inspector"},
      // Nothing absolute to go by: nothing is kept.
      {std::nullopt, std::nullopt, std::nullopt},
      {"", "", std::nullopt},
      {"data", "home", std::nullopt},
  };
  for (const auto& [xdg_data_home, home, folder] : cases) {
    EXPECT_EQ(user_data_folder(xdg_data_home, home), folder)
        << (xdg_data_home ? *xdg_data_home : "(unset)") << " " << (home ? *home : "(unset)");
  }
}

}  // namespace
