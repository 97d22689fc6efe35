# The panel's user defaults in a key file under the user's configuration directory.
add_library(lumivo_keyfile_defaults STATIC ${CMAKE_CURRENT_LIST_DIR}/keyfile_user_defaults.cpp)
target_link_libraries(lumivo_keyfile_defaults PUBLIC PkgConfig::GLIB)
