#include "inspector_window.h"

ErrorChain run_inspector_window(const std::string&) {
  return ErrorChain::from_message("the inspector window is not built yet");
}
