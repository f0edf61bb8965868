// The frontend's Console driven as a user does, and the desktop clipboard read
// as another program reads it. The Console is the panel a fresh window shows,
// in its 800 x 600 window at the top left of a display without a window manager.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "support/process_runner.h"
#include "support/x_display.h"

// A point in the Console's empty area: a click there focuses its prompt.
inline constexpr int kConsoleX = 400, kConsoleY = 400;
// Where a cleared Console shows its first result.
inline constexpr int kFirstResultX = 60, kFirstResultY = 88;

// Focuses the Console's prompt and empties the Console (Ctrl+L).
inline bool clear_console(XDisplay& display) {
  return display.click(kConsoleX, kConsoleY) && display.key("ctrl+l");
}

// Types `expression` at the prompt of an emptied Console, and Return.
inline bool evaluate_in_console(XDisplay& display, const std::string& expression) {
  return clear_console(display) && display.type(expression) && display.key("Return");
}

// The clipboard's text; empty when no program offers one.
inline std::string clipboard_text(const XDisplay& display) {
  ProcessResult read = run_process({"xclip", "-o", "-selection", "clipboard"},
                                   {{"DISPLAY", display.name()}}, std::chrono::seconds(10));
  return read.exit_status == 0 ? read.out : "";
}

// Waits until the clipboard's text holds `text`.
inline bool clipboard_holds(const XDisplay& display, const std::string& text,
                            std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (clipboard_text(display).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}
