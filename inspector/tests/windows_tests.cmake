# Windows only: the platform layer's own tests, run under Wine by the emulator.
add_executable(win32_tests win32_platform_test.cpp)
target_link_libraries(win32_tests PRIVATE vorpel_core GTest::gtest_main)
if(VORPEL_WITH_WEBVIEW2)
  target_sources(win32_tests PRIVATE ${PROJECT_SOURCE_DIR}/inspector/src/read_only_stream-win32.cpp)
  target_compile_definitions(win32_tests PRIVATE VORPEL_WITH_WEBVIEW2=1)
  target_link_libraries(win32_tests PRIVATE ole32 uuid)
endif()
# Its launcher test starts the exe, which lies two folders up.
add_dependencies(win32_tests vorpel_inspector)
gtest_discover_tests(win32_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

# The exe itself under Wine: arguments outside ASCII, and the window (on an
# Xvfb display of the test's own) whose web view cannot start without a runtime.
foreach(case non-ascii-argument window-with-loader window-without-loader)
  add_test(NAME windows.${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_test.sh ${case}
            $<TARGET_FILE:vorpel_inspector> ${VORPEL_WITH_WEBVIEW2})
  set_tests_properties(windows.${case} PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS windows)
endforeach()
