// The web view that fills the window: its creation, and what the window tells it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "error_chain.h"

// The report's outermost line when the web view cannot be created.
inline constexpr const char* kWebViewFailure =
    "failed to create webview (is the WebView2 runtime installed?)";

struct ICoreWebView2;
// Runs on the configured web view just before its first navigation.
using BeforeNavigation = std::function<Status(ICoreWebView2* web_view)>;

// Creates the web view in `window` and opens `frontend_address`. The window's
// messages are handled meanwhile; a close then ends the process.
Status create_web_view(HWND window, const std::string& frontend_address,
                       const BeforeNavigation& before_navigation = {});

// Each does nothing until the web view exists.
void fit_to_client_area(HWND window);
void show_web_view(bool shown);
void tell_web_view_of_move();
void focus_page();
void load_address(const std::string& frontend_address);
// Its result is not wanted.
void run_in_page(const std::string& script);

// Why the web view stopped for good, once its browser process has gone; the
// message loop was then asked to quit.
Status take_web_view_stop();
