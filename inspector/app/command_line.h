// What the launcher takes from its arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kUsage =
    "usage: vorpel_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>";

struct CommandLine {
  bool print_url = false;
  // Keep the window on the inspector's first target when the program restarts.
  bool follow = false;
  // The folder the window may read and write: "--workspace DIR" or "--workspace=DIR".
  std::optional<std::string> workspace;
  // "--workspace" was the last argument.
  bool workspace_without_folder = false;
  // The first argument not starting with "--" that is no option's value.
  std::optional<std::string> inspector_address;

  bool operator==(const CommandLine&) const = default;
};

CommandLine parse_command_line(const std::vector<std::string>& arguments);
