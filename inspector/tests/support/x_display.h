// An Xvfb display of the test's own, and what a window manager would do to it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "process_runner.h"

struct ScreenArea {
  int x, y, width, height;
};

// Mean channel values, 0..1; all -1 when the screenshot could not be read.
struct Color {
  double red = -1, green = -1, blue = -1;
  double brightness() const { return (red + green + blue) / 3; }
};

class XDisplay {
 public:
  XDisplay();
  // ":N", empty when Xvfb could not start.
  const std::string& name() const { return name_; }

  // The id of the top-level window with exactly this title, or 0.
  unsigned long find_window(const std::string& title, std::chrono::milliseconds timeout);
  // Sends WM_DELETE_WINDOW as a window manager does for the close button.
  bool request_close(unsigned long window);
  // Saves the whole screen as a PNG; returns the standard deviation of its pixels (0..1).
  double screenshot(const std::string& path);
  // Takes screenshots into `path` until their standard deviation exceeds
  // `deviation` (something is drawn); returns the last one's.
  double wait_for_detail(const std::string& path, double deviation,
                         std::chrono::milliseconds timeout);
  // The mean colour of `area` in a screenshot saved at `path`.
  static Color mean_color(const std::string& path, ScreenArea area);
  // Takes screenshots into `path` until the mean colour of `area` is
  // accepted; returns the last colour seen.
  Color wait_for_color(const std::string& path, ScreenArea area,
                       const std::function<bool(Color)>& accept, std::chrono::milliseconds timeout);

  // A top-level window that GTK made a dialog of `owner` (WM_TRANSIENT_FOR), or 0.
  unsigned long find_dialog_of(unsigned long owner, std::chrono::milliseconds timeout);
  // Waits until `window` is unmapped or gone.
  bool wait_closed(unsigned long window, std::chrono::milliseconds timeout);

  // Input as a user gives it (xdotool): a click at screen coordinates, keys
  // such as "Escape" or "ctrl+a", and typed text.
  bool click(int x, int y);
  // Turns the wheel at a point: up for negative `notches`, down for positive.
  bool scroll(int x, int y, int notches);
  // Presses the first button at one point and lets go at another.
  bool drag(int from_x, int from_y, int to_x, int to_y);
  // Keys go to `window` when given, else to the window under the pointer.
  bool key(const std::string& keys, unsigned long window = 0);
  bool type(const std::string& text);

 private:
  std::unique_ptr<BackgroundProcess> server_;
  std::string name_;
};
