# Where the panel's window goes: the desktop's monitors and the editor's window on X11, and the
# panel window's place, behind the DesktopWindows and PanelWindowFrame ports.
pkg_check_modules(X11LIB REQUIRED IMPORTED_TARGET x11)
# The stacking order of the editor's windows, read on the apply queue over a connection of its
# own: which of the editor's windows the apply-back presses in.
add_library(lumivo_window_stacking STATIC
  ${CMAKE_CURRENT_LIST_DIR}/x11_client_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_window_stacking.cpp)
target_link_libraries(lumivo_window_stacking PUBLIC PkgConfig::X11LIB)

add_library(lumivo_panel_placement_desktop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/x11_desktop_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk_panel_window_frame.cpp)
target_link_libraries(lumivo_panel_placement_desktop PUBLIC PkgConfig::GTK3 lumivo_window_stacking)

