#include "workspace_page_script.h"

#include <nlohmann/json.hpp>

#include "page_scripts.h"
#include "workspace_host.h"

namespace {

std::string js_const(const char* name, const nlohmann::json& value) {
  return std::string("const ") + name + " = " + value.dump() + ";\n";
}

}  // namespace

// The texts' own names stay inside one function; the names the program
// shares with them are defined here, ahead of the texts that use them.
std::string workspace_page_script(PageTransport transport) {
  nlohmann::json methods = nlohmann::json::array();
  for (std::string_view name : workspace_host_methods()) methods.push_back(name);
  std::string script = "(() => {\n'use strict';\n" + js_const("hostMethods", methods);
  if (transport == PageTransport::kWebKit) {
    script += js_const("handlerName", kWorkspaceMessageHandler) +
              js_const("receiveName", kWorkspaceReceiveFunction) + kWorkspaceWebKitTransport;
  } else {
    script += kWorkspaceWebView2Transport;
  }
  return script + kWorkspaceBindingsScript + kWorkspacePageScript + "})();\n";
}
