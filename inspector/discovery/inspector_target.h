// The target the window attaches to, as the inspector's list names it.
#pragma once

#include <string>

struct InspectorTarget {
  // The webSocketDebuggerUrl without its "ws://" or "wss://": the text the
  // target line and the "{ws}" of an override show.
  std::string text;
  // Listed with "wss://": the frontend must connect over TLS.
  bool wss = false;

  bool operator==(const InspectorTarget&) const = default;
};
