// The native window with the web view that shows the embedded frontend.
#pragma once

#include <functional>
#include <string>

#include "error_chain.h"
#include "target_follower.h"

// U+2014 EM DASH between the two words.
inline constexpr const char* kWindowTitle = "vorpel \xE2\x80\x94 script inspector";

// Runs a script in the page shown; callable from any thread. A script sent
// while no page is shown, or while another loads, may be lost.
using RunInPage = std::function<void(const std::string& script)>;

// What the window gives the program once the web view exists.
struct WindowHooks {
  LoadInWindow load;
  RunInPage run_in_page;
};

// Called on the window's thread when the user closes the window: ends what
// the program started and gives the status to end with.
using WindowClosing = std::function<int()>;

// Called once on the window's thread when the web view exists, before the
// event loop runs. What it returns, when set, is called on closing; without
// it closing ends the program with status 0.
using WindowStarted = std::function<WindowClosing(const WindowHooks& hooks)>;

// Opens the window on `frontend_address` and runs the event loop. Closing the
// window ends the process (see WindowStarted); it returns only when start-up fails
// or the web view stops for good.
ErrorChain run_inspector_window(const std::string& frontend_address,
                                const WindowStarted& on_started = {});

// The same window with a native frontend host that may read and write inside
// `workspace` (workspace_host.h); the plain window has none.
ErrorChain run_inspector_window_with_workspace(const std::string& frontend_address,
                                               const WindowStarted& on_started,
                                               const std::string& workspace);
