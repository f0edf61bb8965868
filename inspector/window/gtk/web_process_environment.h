// Process-level tuning of the window's WebKit processes (see web_process_tuning.h).
#pragma once

#include <gio/gio.h>

// Before gtk_init: sets what the window process and WebKit's processes use.
void tune_web_processes();

// After the web view is created, before its first load starts the web
// process: takes back what only the window process may have.
void restore_web_process_environment();

// Programs the window starts for the user (a browser for a link) get the
// user's environment, without what was set here for WebKit.
void leave_tuning_out(GAppLaunchContext* context);
