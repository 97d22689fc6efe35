# The running-application lookup over /proc.
add_library(lumivo_running_apps STATIC ${CMAKE_CURRENT_LIST_DIR}/proc_running_apps.cpp)
target_link_libraries(lumivo_running_apps PUBLIC lumivo_bundle)
