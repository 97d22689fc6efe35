# The accessibility bus: the menu press into the host editor and the permission check. Spoken
# over GDBus on a private connection, so it needs no more than GLib.
add_library(lumivo_atspi STATIC
  ${CMAKE_CURRENT_LIST_DIR}/atspi_bus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/atspi_accessibility.cpp
  ${CMAKE_CURRENT_LIST_DIR}/atspi_permission.cpp)
target_link_libraries(lumivo_atspi PUBLIC PkgConfig::GLIB)
