# The panel's window and web view: GTK 3 and WebKitGTK behind the WebView and PanelWindow ports.
add_library(lumivo_panel_desktop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/webkit_scheme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/webkit_web_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk_panel_window.cpp)
target_link_libraries(lumivo_panel_desktop PUBLIC PkgConfig::WEBKIT PkgConfig::GTK3)
