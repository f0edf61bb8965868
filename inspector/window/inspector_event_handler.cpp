#include "inspector_event_handler.h"

void inspector_event_handler(InspectorEvent event, LoopControl& control) {
  control.mode = LoopControl::Mode::kWait;
  if (event == InspectorEvent::kCloseRequested) {
    control.mode = LoopControl::Mode::kExit;
    control.exit_status = 0;
  }
}
