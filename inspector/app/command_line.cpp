#include "command_line.h"

namespace {

constexpr std::string_view kWorkspace = "--workspace";

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
  CommandLine command_line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help") {
      command_line.help = true;
    } else if (argument == "--print-url") {
      command_line.print_url = true;
    } else if (argument == "--follow") {
      command_line.follow = true;
    } else if (argument == "--all") {
      command_line.all = true;
    } else if (argument == "--run") {
      // The rest is the command, options and all, as the user would type it.
      command_line.run.emplace(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                               arguments.end());
      break;
    } else if (argument == kWorkspace) {
      // The next argument is the folder whatever it looks like, so a folder
      // named like an address is never taken for one.
      if (i + 1 < arguments.size()) {
        command_line.workspace = arguments[++i];
        command_line.workspace_without_folder = false;
      } else {
        command_line.workspace_without_folder = true;
      }
    } else if (argument.starts_with(std::string(kWorkspace) + "=")) {
      command_line.workspace = argument.substr(kWorkspace.size() + 1);
      command_line.workspace_without_folder = false;
    } else if (!command_line.inspector_address && !argument.starts_with("--")) {
      command_line.inspector_address = argument;
    }
  }
  return command_line;
}
