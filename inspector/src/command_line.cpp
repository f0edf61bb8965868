#include "command_line.h"

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
  CommandLine command_line;
  for (const std::string& argument : arguments) {
    if (argument == "--print-url") {
      command_line.print_url = true;
    } else if (argument == "--follow") {
      command_line.follow = true;
    } else if (!command_line.inspector_address && !argument.starts_with("--")) {
      command_line.inspector_address = argument;
    }
  }
  return command_line;
}
