# The window and its web view for the target platform.
if(WIN32)
  # --- Windows: a Win32 window with WebView2 (the SDK's headers and WebView2Loader.dll) ---
  set(VORPEL_WEBVIEW2_SDK_DIR "$ENV{WEBVIEW2_SDK_DIR}" CACHE PATH
      "The WebView2 SDK: the package folder holding build/native/include (empty: not available)")
  set(vorpel_webview2_native "${VORPEL_WEBVIEW2_SDK_DIR}/build/native")
  if(VORPEL_WEBVIEW2_SDK_DIR AND EXISTS "${vorpel_webview2_native}/include/WebView2.h"
     AND EXISTS "${vorpel_webview2_native}/x64/WebView2Loader.dll")
    set(VORPEL_WITH_WEBVIEW2 ON)
  else()
    set(VORPEL_WITH_WEBVIEW2 OFF)
    message(WARNING "No WebView2 SDK at '${VORPEL_WEBVIEW2_SDK_DIR}': the window cannot show a "
                    "web view, and its tests will be skipped.")
  endif()

  add_library(vorpel_window STATIC
    src/win32/inspector_window.cpp
    src/win32/message_pump.cpp
  )
  target_link_libraries(vorpel_window PUBLIC vorpel_core_on_platform vorpel_frontend
                        ole32 shell32 user32 uuid)
  target_compile_definitions(vorpel_window PRIVATE UNICODE _UNICODE)
  if(VORPEL_WITH_WEBVIEW2)
    # The SDK's header asks for "EventToken.h"; MinGW spells it in lower case.
    set(vorpel_webview2_shim "${CMAKE_CURRENT_BINARY_DIR}/webview2_shim")
    file(WRITE "${vorpel_webview2_shim}/EventToken.h" "#include <eventtoken.h>\n")
    target_sources(vorpel_window PRIVATE
      src/win32/frontend_host_bridge.cpp
      src/win32/read_only_stream.cpp
      src/win32/web_resource_translation.cpp
      src/win32/web_view.cpp
      src/win32/web_view_data_folder.cpp
      src/win32/web_view_failures.cpp
      src/win32/webview2_loader.cpp
    )
    target_include_directories(vorpel_window SYSTEM PRIVATE
                               "${vorpel_webview2_shim}" "${vorpel_webview2_native}/include")
    # The loader is loaded at run time from beside the exe.
    set(VORPEL_WEBVIEW2_LOADER "${vorpel_webview2_native}/x64/WebView2Loader.dll")
    add_custom_command(
      OUTPUT "${PROJECT_BINARY_DIR}/WebView2Loader.dll"
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${VORPEL_WEBVIEW2_LOADER}"
              "${PROJECT_BINARY_DIR}/WebView2Loader.dll"
      DEPENDS "${VORPEL_WEBVIEW2_LOADER}"
      VERBATIM)
    add_custom_target(vorpel_webview2_loader ALL DEPENDS "${PROJECT_BINARY_DIR}/WebView2Loader.dll")
  else()
    target_sources(vorpel_window PRIVATE src/win32/web_view_unavailable.cpp)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET gtk+-3.0 webkit2gtk-4.1)

  # The GTK window's rules: pure, so the unit tests link them too.
  add_library(vorpel_gtk_rules STATIC
    src/gtk/idle_worker_script.cpp
    src/gtk/link_policy.cpp
    src/gtk/page_language.cpp
    src/gtk/save_file_name.cpp
    src/gtk/shared_styles_script.cpp
    src/gtk/user_data_folder.cpp
    src/gtk/web_process_tuning.cpp
  )
  target_link_libraries(vorpel_gtk_rules PUBLIC vorpel_core_on_platform)

  # The window module: GTK and WebKit are loaded only by a run that opens the window.
  add_library(vorpel_inspector_gtk MODULE
    src/gtk/inspector_window.cpp
    src/gtk/browser_links.cpp
    src/gtk/frontend_host_bridge.cpp
    src/gtk/frontend_shims.cpp
    src/gtk/save_dialog.cpp
    src/gtk/web_data_store.cpp
    src/gtk/web_process_environment.cpp
  )
  set_target_properties(vorpel_inspector_gtk PROPERTIES
    PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(vorpel_inspector_gtk PRIVATE vorpel_gtk_rules PkgConfig::WEBKIT)
  set_target_properties(vorpel_core vorpel_platform vorpel_gtk_rules PROPERTIES
                        POSITION_INDEPENDENT_CODE ON)

  # In the program: finds and loads the window module.
  add_library(vorpel_window STATIC src/posix/window_module_loader.cpp)
  target_link_libraries(vorpel_window PUBLIC vorpel_core_on_platform ${CMAKE_DL_LIBS})
  add_dependencies(vorpel_window vorpel_inspector_gtk)
endif()
