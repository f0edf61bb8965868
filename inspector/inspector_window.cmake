# The window and its web view for the target platform.
if(WIN32)
  # Windows: added with the WebView2 layer.
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET gtk+-3.0 webkit2gtk-4.1)
  add_library(vorpel_window STATIC src/inspector_window_gtk.cpp)
  target_link_libraries(vorpel_window PUBLIC vorpel_core PkgConfig::WEBKIT)
endif()
