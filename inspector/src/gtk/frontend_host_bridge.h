// Carries the frontend host's messages on GTK: a user script defines the host
// in the page and posts to a script message handler; answers go back through
// a page function. What the host does is the core's (frontend_host.h).
#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "error_chain.h"

// Before the view exists: the page script and the handler, with the host over
// `workspace`. The host lives as long as the program.
Status attach_frontend_host(WebKitUserContentManager* content, const std::string& workspace);

// The view the host answers and raises; once it exists.
void show_frontend_host_in(WebKitWebView* view);
