// Where the frontend, in its 800 x 600 window at the top left of a display
// without a window manager, shows its command and quick-open boxes: the blue
// prompt ("Run", "Open") and the first match, selected in light blue.
#pragma once

#include "support/x_display.h"

inline constexpr ScreenArea kBoxPrompt = {158, 37, 26, 12};
inline constexpr ScreenArea kBoxFirstMatch = {200, 75, 300, 20};

inline bool bluish(Color color) {
  return color.blue - color.red > 0.1;
}
