# End-to-end: the window under an Xvfb display of the test's own, a real node.
# Each suite is its own executable:
#   window:         the frontend attached, closing, the override, the desktop's style;
#   no_files:       fresh home, XDG and temporary folders: only the data folder is written;
#   runtime_window: Deno and workerd;
#   follow_window:  --follow across restarts of the inspected program;
#   clipboard_window: copy and paste between the Console and the desktop;
#   workspace_window: --workspace with a tsc project: source maps, breakpoints, saves;
#   sources_window: a large minified script in Sources: the editor keeps to the window;
#   console_window: a long Console scrolled back, searched, an object kept open;
#   hub_window:     --run and --all: processes, worker threads, listed targets in one window.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  foreach(suite window no_files runtime_window follow_window clipboard_window workspace_window
                sources_window console_window hub_window)
    add_executable(${suite}_tests window/${suite}_test.cpp support/fresh_folders.cpp
                                   support/x_display.cpp)
    # The window's own header, for its title.
    target_link_libraries(${suite}_tests PRIVATE process_test_support vorpel_window_core X11::X11
                          GTest::gtest_main)
    target_compile_definitions(${suite}_tests PRIVATE
      VORPEL_TEST_OUTPUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
    add_dependencies(${suite}_tests vorpel_inspector)
    # Named after the suite too, so that `ctest -R <suite>` picks one.
    gtest_discover_tests(${suite}_tests TEST_PREFIX "${suite}."
      PROPERTIES LABELS e2e TIMEOUT 300 ENVIRONMENT DBUS_SESSION_BUS_ADDRESS=disabled:
      DISCOVERY_TIMEOUT 60)
  endforeach()
  # The saved heap snapshot is read as JSON.
  target_link_libraries(workspace_window_tests PRIVATE nlohmann_json::nlohmann_json)
endif()
