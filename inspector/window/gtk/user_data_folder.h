// Where the window keeps what the frontend stores between runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kUserDataFolderName = "vorpel_inspector";

// $XDG_DATA_HOME/vorpel_inspector, or $HOME/.local/share/vorpel_inspector when
// XDG_DATA_HOME is unset, empty or relative (the XDG rules make a relative one
// invalid). nullopt when neither gives an absolute folder: nothing is kept.
std::optional<std::string> user_data_folder(std::optional<std::string_view> xdg_data_home,
                                            std::optional<std::string_view> home);

// A window opened while another one holds `folder` keeps its data in the
// first free of folder/window-2 ... folder/window-8; `window` 1 is the folder.
inline constexpr int kWindowFolders = 8;
std::string window_data_folder(const std::string& folder, int window);
