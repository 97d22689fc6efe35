# Opening links in the user's browser.
add_library(lumivo_gio_url_opener STATIC ${CMAKE_CURRENT_LIST_DIR}/gio_url_opener.cpp)
target_link_libraries(lumivo_gio_url_opener PUBLIC PkgConfig::GLIB)
