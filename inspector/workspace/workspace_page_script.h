// The page side of the workspace host: a script run before the frontend's own,
// which puts the program's methods on the frontend's InspectorFrontendHost and
// stands in for the browser file system API that the Workspace uses. Its text
// is inspector/page/workspace_*.js; this puts it together for one transport.
#pragma once

#include <string>

enum class PageTransport {
  kWebKit,    // window.webkit.messageHandlers, answers through kWorkspaceReceiveFunction(...)
  kWebView2,  // window.chrome.webview messages both ways
};

// The name of WebKit's message handler that the script posts to.
inline constexpr const char* kWorkspaceMessageHandler = "vorpelWorkspace";
// The page function that takes the program's messages on WebKit.
inline constexpr const char* kWorkspaceReceiveFunction = "vorpelWorkspaceReceive";

std::string workspace_page_script(PageTransport transport);
