// What the launcher takes from its arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kUsage =
    "usage: vorpel_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>";

// What --help prints on standard output, a line an element.
inline constexpr std::string_view kHelp[] = {
    "usage: vorpel_inspector [--print-url] [--follow] [--all] [--workspace DIR] "
    "<inspector-http-addr>",
    "       vorpel_inspector [--workspace DIR] --run COMMAND [ARGUMENTS...]",
    "",
    "Opens a window with a DevTools frontend on the first target of a V8-style",
    "inspector, such as node --inspect at 127.0.0.1:9229.",
    "",
    "  --print-url      print the target and the frontend's address, open no window",
    "  --follow         stay on the program when it restarts at the same address",
    "  --all            show every target the inspector lists, kept current, with",
    "                   the worker threads of each",
    "  --run COMMAND    run COMMAND with the inspector in every Node process it starts,",
    "                   each held until the window attaches; every word after --run",
    "                   is the command's; ends with the command's status",
    "  --workspace DIR  let the window read and write inside DIR: source maps from",
    "                   disk, the Sources panel's Workspace, saves (also --workspace=DIR)",
    "  --help           print this help",
    "",
    "VORPEL_INSPECTOR_FRONTEND replaces the frontend's address; {ws} in it stands",
    "for the target.",
};

struct CommandLine {
  bool help = false;
  bool print_url = false;
  // Keep the window on the inspector's first target when the program restarts.
  bool follow = false;
  // The folder the window may read and write: "--workspace DIR" or "--workspace=DIR".
  std::optional<std::string> workspace;
  // "--workspace" was the last argument.
  bool workspace_without_folder = false;
  // Every target the inspector lists, and their workers, in one window.
  bool all = false;
  // Every argument after "--run": the command to start under the window.
  std::optional<std::vector<std::string>> run;
  // The first argument not starting with "--" that is no option's value.
  std::optional<std::string> inspector_address;

  bool operator==(const CommandLine&) const = default;
};

CommandLine parse_command_line(const std::vector<std::string>& arguments);
