// The window lives in a module of its own on Linux: loading GTK and WebKit
// takes longer than the rest of a --print-url run, so only a run that opens
// the window pays for it. This is the one call between program and module.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "error_chain.h"
#include "frontend_protocol_handler.h"
#include "inspector_window.h"

// What the module takes from the program: the frontend is served from the
// program's own table, so the module never holds a copy.
struct InspectorWindowServices {
  ProtocolUri (*parse_uri)(std::string_view uri);
  ProtocolResponse (*handle)(std::string_view webview_id, ProtocolRequest request);
};

inline constexpr const char* kInspectorWindowModule = "vorpel_inspector_gtk.so";
inline constexpr const char* kInspectorWindowEntry = "vorpel_inspector_window_main";

// Runs the window, with a frontend host when `workspace` is not null; on
// failure it stores the error and returns.
using InspectorWindowEntry = void (*)(const std::string* frontend_address,
                                      const InspectorWindowServices* services,
                                      const WindowStarted* on_started, const std::string* workspace,
                                      std::optional<ErrorChain>* error);
