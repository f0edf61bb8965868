# The window and its web view for the target platform.
add_library(vorpel_window STATIC src/inspector_window_gtk.cpp)
target_link_libraries(vorpel_window PUBLIC vorpel_core)
