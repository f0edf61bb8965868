# The window and its web view for the target platform.
if(WIN32)
  # Windows: added with the WebView2 layer.
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET gtk+-3.0 webkit2gtk-4.1)
  # GTK and WebKit are loaded only by a run that opens the window.
  add_library(vorpel_inspector_gtk MODULE src/inspector_window_gtk.cpp)
  set_target_properties(vorpel_inspector_gtk PROPERTIES
    PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(vorpel_inspector_gtk PRIVATE vorpel_core PkgConfig::WEBKIT)
  set_target_properties(vorpel_core vorpel_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)

  add_library(vorpel_window STATIC src/inspector_window_loader-posix.cpp)
  target_link_libraries(vorpel_window PUBLIC vorpel_core ${CMAKE_DL_LIBS})
  add_dependencies(vorpel_window vorpel_inspector_gtk)
endif()
