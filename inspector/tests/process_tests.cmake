# Process-level tests: the built program against loopback servers and node.
add_library(process_test_support STATIC support/process_runner.cpp support/loopback_server.cpp
  support/recording_forwarder.cpp support/node_page.cpp
  support/runtime_inspector.cpp support/renaming_inspector.cpp)
target_include_directories(process_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(process_test_support
  PUBLIC VORPEL_INSPECTOR_BINARY="$<TARGET_FILE:vorpel_inspector>"
  # The pinned engines, installed by the set-up from tests/runtimes.
  VORPEL_TEST_RUNTIMES_DIR="${CMAKE_CURRENT_SOURCE_DIR}/runtimes/node_modules")
target_link_libraries(process_test_support PUBLIC GTest::gtest Threads::Threads)

add_executable(process_tests process/process_test.cpp process/workspace_option_test.cpp
               process/loopback_fetch_test.cpp process/workspace_page_script_test.cpp
               process/idle_worker_script_test.cpp process/shared_styles_script_test.cpp
               process/inspector_watch_test.cpp)
target_link_libraries(process_tests PRIVATE process_test_support vorpel_core vorpel_page_scripts
                      GTest::gtest_main)
add_dependencies(process_tests vorpel_inspector)
# Each case is its own CTest entry so the slow retry-window cases run in parallel.
gtest_discover_tests(process_tests PROPERTIES LABELS process TIMEOUT 60 DISCOVERY_TIMEOUT 60)

add_executable(runtime_tests process/runtime_inspector_test.cpp)
target_link_libraries(runtime_tests PRIVATE process_test_support GTest::gtest_main)
add_dependencies(runtime_tests vorpel_inspector)
gtest_discover_tests(runtime_tests PROPERTIES LABELS process TIMEOUT 120 DISCOVERY_TIMEOUT 60)

# Misbehaving inspectors over real loopback sockets; each case is its own CTest
# entry, so the ones that wait out the retry window run side by side.
if(NOT WIN32)
  add_executable(misbehaving_inspector_tests process/misbehaving_inspector_test.cpp)
  target_link_libraries(misbehaving_inspector_tests PRIVATE process_test_support GTest::gtest_main)
  add_dependencies(misbehaving_inspector_tests vorpel_inspector)
  gtest_discover_tests(misbehaving_inspector_tests
    PROPERTIES LABELS process TIMEOUT 90 DISCOVERY_TIMEOUT 60)
  if(VORPEL_SANITIZE)
    target_compile_definitions(misbehaving_inspector_tests PRIVATE VORPEL_TEST_SANITIZED)
  endif()
endif()
