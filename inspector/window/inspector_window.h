// The native window with the web view that shows the embedded frontend.
#pragma once

#include <functional>
#include <string>

#include "error_chain.h"
#include "target_follower.h"

// U+2014 EM DASH between the two words.
inline constexpr const char* kWindowTitle = "vorpel \xE2\x80\x94 script inspector";

// Called once on the window's thread when the web view exists, before the
// event loop runs, with a way to load another address in it later.
using WindowStarted = std::function<void(LoadInWindow load)>;

// Opens the window on `frontend_address` and runs the event loop. Closing the
// window ends the process with status 0; it returns only when start-up fails
// or the web view stops for good.
ErrorChain run_inspector_window(const std::string& frontend_address,
                                const WindowStarted& on_started = {});

// The same window with a native frontend host that may read and write inside
// `workspace` (workspace_host.h); the plain window has none.
ErrorChain run_inspector_window_with_workspace(const std::string& frontend_address,
                                               const WindowStarted& on_started,
                                               const std::string& workspace);
