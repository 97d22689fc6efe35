# Bundle Info.ini reading and the main-bundle lookup, shared by the plug-in, panel and host.
add_library(lumivo_bundle STATIC ${CMAKE_CURRENT_LIST_DIR}/bundle_info.cpp)
target_link_libraries(lumivo_bundle PUBLIC PkgConfig::GLIB)
