// WebView2Loader.dll, the runtime's entry point, found at run time.
#pragma once

#include <WebView2.h>

#include "error_chain.h"

using CreateEnvironmentFunction =
    HRESULT(STDAPICALLTYPE*)(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*);

// Loads the WebView2Loader.dll beside the exe and finds its
// CreateCoreWebView2EnvironmentWithOptions.
Result<CreateEnvironmentFunction> load_webview2_loader();
