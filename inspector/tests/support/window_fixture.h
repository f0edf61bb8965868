// The fixture of every window test: an Xvfb display of the test's own, fresh
// home, XDG and temporary folders, and the program opened and closed on them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "inspector_window.h"
#include "support/fresh_folders.h"
#include "support/process_runner.h"
#include "support/x_display.h"

class WindowFixture : public testing::Test {
 protected:
  void SetUp() override {
    if (display_.name().empty()) GTEST_SKIP() << "Xvfb could not start";
    ASSERT_TRUE(fresh_.ok());
  }

  // The environment of a window run on this display, with home, XDG and
  // temporary folders of the test's own; `extra` wins.
  EnvironmentChanges window_environment(EnvironmentChanges extra = {}) const {
    for (const auto& [variable, folder] : fresh_.folders()) extra.try_emplace(variable, folder);
    extra.try_emplace("GTK_THEME", std::nullopt);
    extra.try_emplace("DISPLAY", display_.name());
    extra.try_emplace("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    extra.try_emplace("LANG", "C.UTF-8");
    extra.try_emplace("LC_ALL", std::nullopt);
    extra.try_emplace("VORPEL_INSPECTOR_FRONTEND", std::nullopt);
    return extra;
  }

  std::unique_ptr<BackgroundProcess> open_window(const std::vector<std::string>& arguments,
                                                 EnvironmentChanges extra = {}) {
    std::vector<std::string> argv = inspector_command();
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<BackgroundProcess>(argv, window_environment(std::move(extra)));
  }

  // The close button, as a window manager sends it: status 0, nothing on
  // stderr. `window` 0: the one with the program's title.
  void close_window(BackgroundProcess& inspector, unsigned long window = 0,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    if (window == 0) window = display_.find_window(kWindowTitle, timeout);
    ASSERT_NE(window, 0u) << inspector.err();
    ASSERT_TRUE(display_.request_close(window));
    EXPECT_EQ(inspector.wait_exit(timeout), std::optional<int>(0));
    EXPECT_EQ(inspector.err(), "");
  }

  XDisplay display_;
  FreshFolders fresh_;
};
