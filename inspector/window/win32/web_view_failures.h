// How the report tells of the web view's processes failing.
#pragma once

#include <WebView2.h>

#include <string>

#include "error_chain.h"

// " (reason: crashed, exit code 0xC0000005)": the details of a process failure.
std::string process_failure_details(COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code);

// The browser process's end, with its reason and exit code where the runtime
// gives them, under "the webview stopped".
ErrorChain browser_process_failure(ICoreWebView2ProcessFailedEventArgs* args);
