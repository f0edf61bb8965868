// The launcher: arguments, discovery, the three start-up lines, the window.
#include <string>

#include "command_line.h"
#include "error_chain.h"
#include "file_system.h"
#include "frontend_address.h"
#include "granted_folders.h"
#include "hub_session.h"
#include "inspector_window.h"
#include "startup_lines.h"
#include "sys.h"
#include "target_follower.h"
#include "target_list_client.h"
#include "target_selection.h"

namespace {

Status open_window(const std::string& frontend_address, const WindowStarted& on_started,
                   const CommandLine& command_line, bool workspace) {
  if (workspace) {
    return run_inspector_window_with_workspace(frontend_address, on_started,
                                               *command_line.workspace);
  }
  return run_inspector_window(frontend_address, on_started);
}

// --run and --all: one window for many targets, through the page's hub.
Status run_hub(const CommandLine& command_line, bool workspace) {
  const std::string frontend_address = target_hub_frontend_address();
  HubSession* session = nullptr;
  std::unique_ptr<HubSession> listing;
  if (command_line.run) {
    if (command_line.run->empty()) return ErrorChain::from_message("--run needs a command");
    sys::write_output_line(run_line(*command_line.run));
    sys::write_output_line(frontend_line(frontend_address));
    sys::write_output_line(kEmbeddedFrontendLine);
    if (command_line.print_url) return std::nullopt;
    auto started = run_command(*command_line.run);
    if (!started) return std::move(started).error();
    session = started.value();
  } else {
    // Reachable, as for one target; the list may still be empty.
    auto body = fetch_target_list(*command_line.inspector_address);
    if (!body) return std::move(body).error();
    sys::write_output_line(all_targets_line(*command_line.inspector_address));
    sys::write_output_line(frontend_line(frontend_address));
    sys::write_output_line(kEmbeddedFrontendLine);
    if (command_line.print_url) return std::nullopt;
    listing = list_all_targets(*command_line.inspector_address);
    session = listing.get();
  }
  WindowStarted on_started = [session](const WindowHooks& hooks) -> WindowClosing {
    session->feed(hooks.run_in_page);
    return [session] { return session->close(); };
  };
  Status error = open_window(frontend_address, on_started, command_line, workspace);
  session->close();  // the window never came: nothing of the command stays
  return error;
}

Status run(int argc, char** argv) {
  auto arguments = sys::program_arguments(argc, argv);
  if (!arguments) return std::move(arguments).error();
  CommandLine command_line = parse_command_line(arguments.value());
  if (command_line.help) {
    for (std::string_view line : kHelp) sys::write_output_line(std::string(line) + "\n");
    return std::nullopt;
  }
  if (!command_line.run && !command_line.inspector_address) {
    return ErrorChain::from_message(std::string(kUsage));
  }
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

  if (command_line.run || command_line.all) return run_hub(command_line, workspace);

  auto target = discover_target(*command_line.inspector_address);
  if (!target) return std::move(target).error();
  std::string frontend_address = build_frontend_address(target.value());

  sys::write_output_line(target_line(target.value().text));
  sys::write_output_line(frontend_line(frontend_address));
  sys::write_output_line(kEmbeddedFrontendLine);
  if (command_line.print_url) return std::nullopt;

  WindowStarted on_started;
  if (command_line.follow) {
    on_started = [&](const WindowHooks& hooks) -> WindowClosing {
      start_target_follower(*command_line.inspector_address, target.value(), hooks.load);
      return {};
    };
  }
  return open_window(frontend_address, on_started, command_line, workspace);
}

}  // namespace

int main(int argc, char** argv) {
  Status error = run(argc, argv);
  if (!error) return 0;
  sys::write_error(error->report());
  return 1;
}
