// Carries the frontend host's messages on GTK: a user script defines the host
// in the page and posts to a script message handler; answers go back through
// a page function. What the host does is the core's (workspace_host.h).
#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "error_chain.h"

// The host over `workspace`, which lives as long as the program.
Status prepare_workspace_host(const std::string& workspace);

// Before the view exists: the host's page script and message handler.
void attach_workspace_host(WebKitUserContentManager* content);

// The view the host answers and raises; once it exists.
void show_workspace_host_in(WebKitWebView* view);
