#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "gtk/window_module.h"
#include "inspector_window.h"

namespace {

// Beside the program in a build tree, or in its lib folder once installed.
std::string module_path(std::string* searched) {
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string directory = ".";
  if (length > 0) {
    directory.assign(buffer, static_cast<size_t>(length));
    directory.erase(directory.rfind('/'));
  }
  const std::string candidates[] = {
      directory + "/" + kInspectorWindowModule,
      directory + "/../lib/vorpel_inspector/" + kInspectorWindowModule,
  };
  for (const std::string& candidate : candidates) {
    if (::access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  *searched = candidates[0] + " or " + candidates[1];
  return {};
}

ErrorChain run_window_module(const std::string& frontend_address, const WindowStarted& on_started,
                             const std::string* workspace) {
  std::string searched;
  std::string path = module_path(&searched);
  if (path.empty()) {
    return ErrorChain::from_message("window module not found: " + searched)
        .with_context("failed to create inspector window");
  }
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  void* entry = module != nullptr ? ::dlsym(module, kInspectorWindowEntry) : nullptr;
  if (entry == nullptr) {
    return ErrorChain::from_message(::dlerror()).with_context("failed to create inspector window");
  }
  static constexpr InspectorWindowServices kServices{parse_protocol_uri, FrontendProtocolHandler};
  std::optional<ErrorChain> error;
  reinterpret_cast<InspectorWindowEntry>(entry)(&frontend_address, &kServices, &on_started,
                                                workspace, &error);
  if (error) return std::move(*error);
  return ErrorChain::from_message("the window module returned without an error")
      .with_context("failed to create inspector window");
}

}  // namespace

ErrorChain run_inspector_window(const std::string& frontend_address,
                                const WindowStarted& on_started) {
  return run_window_module(frontend_address, on_started, nullptr);
}

ErrorChain run_inspector_window_with_workspace(const std::string& frontend_address,
                                               const WindowStarted& on_started,
                                               const std::string& workspace) {
  return run_window_module(frontend_address, on_started, &workspace);
}
