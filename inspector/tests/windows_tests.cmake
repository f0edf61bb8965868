# Windows only: the platform layer's own tests, run under Wine by the emulator.
set(win32_src ${PROJECT_SOURCE_DIR}/inspector/window/win32)
add_executable(win32_tests windows/win32_platform_test.cpp windows/win32_run_test.cpp
               windows/win32_window_layer_test.cpp ${win32_src}/message_pump.cpp)
target_include_directories(win32_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(win32_tests PRIVATE vorpel_core GTest::gtest_main user32)
# What the command tests start, to see the arguments and environment it got.
add_executable(win32_argument_probe windows/argument_probe.cpp)
target_link_libraries(win32_argument_probe PRIVATE shell32)
add_dependencies(win32_tests win32_argument_probe)
if(VORPEL_WITH_WEBVIEW2)
  target_sources(win32_tests PRIVATE ${win32_src}/read_only_stream.cpp
                 ${win32_src}/web_view_failures.cpp)
  target_include_directories(win32_tests SYSTEM PRIVATE
                             "${vorpel_webview2_shim}" "${vorpel_webview2_native}/include")
  target_compile_definitions(win32_tests PRIVATE VORPEL_WITH_WEBVIEW2=1)
  target_link_libraries(win32_tests PRIVATE ole32 uuid)

  # A recording stand-in for WebView2Loader.dll that the window tests put beside
  # a copy of the exe. Its name differs, so it can never be taken for the loader.
  set(standin ${CMAKE_CURRENT_SOURCE_DIR}/windows/webview2_standin)
  add_library(webview2_standin SHARED ${standin}/webview2_standin.cpp ${standin}/standin_log.cpp
              ${standin}/standin_web_view.cpp ${standin}/webview2_standin.def)
  set_target_properties(webview2_standin PROPERTIES PREFIX "")
  target_include_directories(webview2_standin SYSTEM PRIVATE
                             "${vorpel_webview2_shim}" "${vorpel_webview2_native}/include")
  target_compile_definitions(webview2_standin PRIVATE UNICODE _UNICODE)
  target_link_libraries(webview2_standin PRIVATE ole32 uuid user32)
  # No MinGW runtime DLLs, as for the exe.
  target_link_options(webview2_standin PRIVATE -static)
endif()
# Its launcher test starts the exe, which lies two folders up.
add_dependencies(win32_tests vorpel_inspector)
gtest_discover_tests(win32_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

# Ctrl+C while a command runs, on a terminal of its own (script), where Wine's
# console takes it.
add_test(NAME windows.interrupt
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_test.sh interrupt
          $<TARGET_FILE:win32_tests> ${VORPEL_WITH_WEBVIEW2})
set_tests_properties(windows.interrupt PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS windows)

# The exe itself under Wine: arguments outside ASCII, and the window (on an
# Xvfb display of the test's own) whose web view cannot start without a runtime.
foreach(case non-ascii-argument window-with-loader window-without-loader)
  add_test(NAME windows.${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_test.sh ${case}
            $<TARGET_FILE:vorpel_inspector> ${VORPEL_WITH_WEBVIEW2})
  set_tests_properties(windows.${case} PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS windows)
endforeach()

# The window's whole life against the recording stand-in loader.
if(VORPEL_WITH_WEBVIEW2)
  foreach(case startup move minimize serving follow workspace no-workspace run
          close-while-environment-pending
          close-while-controller-pending environment-fails-at-once environment-fails-later
          controller-fails-at-once controller-fails-later browser-process-exits
          render-process-exits profile-falls-back)
    add_test(NAME windows.standin.${case}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_test.sh standin-${case}
              $<TARGET_FILE:vorpel_inspector> ${VORPEL_WITH_WEBVIEW2}
              $<TARGET_FILE:webview2_standin>)
    set_tests_properties(windows.standin.${case} PROPERTIES
      SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS windows)
  endforeach()
endif()
