// What the window's event loop does with each event: nothing but closing.
#pragma once

enum class InspectorEvent { kCloseRequested };

struct LoopControl {
  enum class Mode { kWait, kExit };
  Mode mode = Mode::kWait;
  int exit_status = 0;
};

// Stateless: wait for the next event, or exit with status 0 on a close request.
void inspector_event_handler(InspectorEvent event, LoopControl& control);
