// An Xvfb display of the test's own, and what a window manager would do to it.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "process_runner.h"

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

 private:
  std::unique_ptr<BackgroundProcess> server_;
  std::string name_;
};
