# Desktop notifications: the "notify" handler and the click road (logic), and the module made
# with the session bus's notification server (for the panel's main).
add_library(lumivo_notifications STATIC ${CMAKE_CURRENT_LIST_DIR}/notifications.cpp)
target_link_libraries(lumivo_notifications PUBLIC nlohmann_json::nlohmann_json PkgConfig::GLIB)

add_library(lumivo_notifications_module STATIC ${CMAKE_CURRENT_LIST_DIR}/notifications_factory.cpp)
target_link_libraries(lumivo_notifications_module PUBLIC
  lumivo_notifications lumivo_dbus_notifications)
