# Where the panel's window goes: the desktop's monitors and the editor's window on X11, and the
# panel window's place, behind the DesktopWindows and PanelWindowFrame ports.
pkg_check_modules(X11LIB REQUIRED IMPORTED_TARGET x11)
add_library(lumivo_panel_placement_desktop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/x11_desktop_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk_panel_window_frame.cpp)
target_link_libraries(lumivo_panel_placement_desktop PUBLIC PkgConfig::GTK3 PkgConfig::X11LIB)
