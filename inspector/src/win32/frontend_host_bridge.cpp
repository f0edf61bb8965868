// The Windows window with a frontend host: not carried yet.
#include "inspector_window.h"

ErrorChain run_inspector_window_with_workspace(const std::string&, const WindowStarted&,
                                               const std::string&) {
  return ErrorChain::from_message("--workspace is not available in the Windows window yet");
}
