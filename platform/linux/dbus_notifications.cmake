# Desktop notifications through the notification server on the session bus.
add_library(lumivo_dbus_notifications STATIC ${CMAKE_CURRENT_LIST_DIR}/dbus_notifications.cpp)
target_link_libraries(lumivo_dbus_notifications PUBLIC PkgConfig::GLIB)
