// The launcher: arguments, discovery, the three start-up lines, the window.
#include <string>

#include "command_line.h"
#include "error_chain.h"
#include "file_system.h"
#include "frontend_address.h"
#include "granted_folders.h"
#include "inspector_window.h"
#include "startup_lines.h"
#include "sys.h"
#include "target_follower.h"
#include "target_selection.h"

namespace {

Status run(int argc, char** argv) {
  auto arguments = sys::program_arguments(argc, argv);
  if (!arguments) return std::move(arguments).error();
  CommandLine command_line = parse_command_line(arguments.value());
  if (command_line.help) {
    for (std::string_view line : kHelp) sys::write_output_line(std::string(line) + "\n");
    return std::nullopt;
  }
  if (!command_line.inspector_address) return ErrorChain::from_message(std::string(kUsage));
  // Only the window uses the folder, so a --print-url run never looks at it.
  const bool workspace =
      !command_line.print_url && (command_line.workspace || command_line.workspace_without_folder);
  if (workspace && command_line.workspace_without_folder) {
    return ErrorChain::from_message("--workspace needs a folder");
  }
  if (workspace) {
    if (auto error = check_workspace_folder(native_file_system(), *command_line.workspace)) {
      return error;
    }
  }

  auto target = discover_target(*command_line.inspector_address);
  if (!target) return std::move(target).error();
  std::string frontend_address = build_frontend_address(target.value());

  sys::write_output_line(target_line(target.value().text));
  sys::write_output_line(frontend_line(frontend_address));
  sys::write_output_line(kEmbeddedFrontendLine);
  if (command_line.print_url) return std::nullopt;

  WindowStarted on_started;
  if (command_line.follow) {
    on_started = [&](LoadInWindow load) {
      start_target_follower(*command_line.inspector_address, target.value(), std::move(load));
    };
  }
  if (workspace) {
    return run_inspector_window_with_workspace(frontend_address, on_started,
                                               *command_line.workspace);
  }
  return run_inspector_window(frontend_address, on_started);
}

}  // namespace

int main(int argc, char** argv) {
  Status error = run(argc, argv);
  if (!error) return 0;
  sys::write_error(error->report());
  return 1;
}
