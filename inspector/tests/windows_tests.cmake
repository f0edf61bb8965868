# Windows only: the platform layer's own tests, run under Wine by the emulator.
add_executable(win32_tests win32_platform_test.cpp)
target_link_libraries(win32_tests PRIVATE vorpel_core GTest::gtest_main)
if(VORPEL_WITH_WEBVIEW2)
  target_sources(win32_tests PRIVATE ${PROJECT_SOURCE_DIR}/inspector/src/read_only_stream-win32.cpp)
  target_compile_definitions(win32_tests PRIVATE VORPEL_WITH_WEBVIEW2=1)
  target_link_libraries(win32_tests PRIVATE ole32 uuid)
endif()
gtest_discover_tests(win32_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
