// Carries the frontend host's messages on WebView2: the page script is added
// to every new document, the page posts to the web view's message channel, and
// answers go back with PostWebMessageAsJson. What the host does is the core's
// (workspace_host.h).
#pragma once

#include <windows.h>

#include <string>

#include "error_chain.h"

struct ICoreWebView2;

// Before the first navigation of `web_view` in `window`: the host over
// `workspace`, its page script and its message handler. The host lives as long
// as the process.
Status attach_workspace_host(HWND window, ICoreWebView2* web_view, const std::string& workspace);
