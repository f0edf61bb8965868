// What the test's script decides about creation, and the hooks that start its actions.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <WebView2.h>

namespace standin {

// Starts the controller's creation as the script says: at once failing, or
// completing later through the UI thread's message queue, or never.
HRESULT begin_controller_creation(
    HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler);

// Counts the navigations; the first starts the script's actions.
void navigated();

}  // namespace standin
