# The send announcement on the session bus: the plug-in's poster and the panel's subscriber
# are separate libraries so the plug-in links only what it posts with.
add_library(lumivo_send_notifier STATIC ${CMAKE_CURRENT_LIST_DIR}/dbus_send_notifier.cpp)
target_link_libraries(lumivo_send_notifier PUBLIC PkgConfig::GLIB)

add_library(lumivo_send_subscription STATIC ${CMAKE_CURRENT_LIST_DIR}/dbus_send_subscription.cpp)
target_link_libraries(lumivo_send_subscription PUBLIC PkgConfig::GLIB)
