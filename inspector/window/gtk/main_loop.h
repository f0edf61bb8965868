// Work handed to the GTK main loop: the one way other threads reach the window.
#pragma once

#include <functional>

// Runs `task` on the main loop soon; callable from any thread.
void run_on_main_loop(std::function<void()> task);
