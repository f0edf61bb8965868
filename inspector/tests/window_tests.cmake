# End-to-end: the window under an Xvfb display of the test's own, a real node.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  add_executable(window_tests window_test.cpp support/fresh_folders.cpp support/x_display.cpp)
  target_link_libraries(window_tests PRIVATE process_test_support X11::X11 GTest::gtest_main)
  target_compile_definitions(window_tests PRIVATE VORPEL_TEST_OUTPUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  add_dependencies(window_tests vorpel_inspector)
  gtest_discover_tests(window_tests
    PROPERTIES LABELS e2e TIMEOUT 300 ENVIRONMENT DBUS_SESSION_BUS_ADDRESS=disabled:
    DISCOVERY_TIMEOUT 60)
endif()

# Window runs with fresh home, XDG and temporary folders write only the data folder.
if(NOT WIN32)
  add_executable(no_files_tests no_files_test.cpp support/fresh_folders.cpp support/x_display.cpp)
  target_link_libraries(no_files_tests PRIVATE process_test_support X11::X11 GTest::gtest_main)
  target_compile_definitions(no_files_tests PRIVATE VORPEL_TEST_OUTPUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  add_dependencies(no_files_tests vorpel_inspector)
  gtest_discover_tests(no_files_tests
    PROPERTIES LABELS e2e TIMEOUT 300 ENVIRONMENT DBUS_SESSION_BUS_ADDRESS=disabled:
    DISCOVERY_TIMEOUT 60)
endif()

# More window runs, each suite its own executable: Deno and workerd, and
# --follow across restarts of the inspected program.
if(NOT WIN32)
  foreach(suite runtime_window follow_window)
    add_executable(${suite}_tests ${suite}_test.cpp support/fresh_folders.cpp support/x_display.cpp)
    target_link_libraries(${suite}_tests PRIVATE process_test_support X11::X11 GTest::gtest_main)
    target_compile_definitions(${suite}_tests PRIVATE
      VORPEL_TEST_OUTPUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
    add_dependencies(${suite}_tests vorpel_inspector)
    gtest_discover_tests(${suite}_tests
      PROPERTIES LABELS e2e TIMEOUT 240 ENVIRONMENT DBUS_SESSION_BUS_ADDRESS=disabled:
      DISCOVERY_TIMEOUT 60)
  endforeach()
endif()
