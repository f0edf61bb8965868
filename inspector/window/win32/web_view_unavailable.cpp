// The web view of a build made without the WebView2 SDK: the window opens, the view never does.
#include "win32/web_view.h"
#include "win32/workspace_bridge.h"

Status create_web_view(HWND, const std::string&, const BeforeNavigation&) {
  return ErrorChain::from_message("this build was made without the WebView2 SDK");
}

void fit_to_client_area(HWND) {}
void show_web_view(bool) {}
void tell_web_view_of_move() {}
void focus_page() {}
void load_address(const std::string&) {}
void run_in_page(const std::string&) {}
Status take_web_view_stop() {
  return std::nullopt;
}
Status attach_workspace_host(HWND, ICoreWebView2*, const std::string&) {
  return std::nullopt;  // never reached: no web view is made
}
