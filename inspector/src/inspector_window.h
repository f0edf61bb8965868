// The native window with the web view that shows the embedded frontend.
#pragma once

#include <string>

#include "error_chain.h"

// Opens the window on `frontend_address` and runs the event loop. Closing the
// window ends the process with status 0; it returns only when start-up fails
// or the web view stops for good.
ErrorChain run_inspector_window(const std::string& frontend_address);
