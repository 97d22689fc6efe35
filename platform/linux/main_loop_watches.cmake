# Process ends and delays on the GLib main loop, behind the ProcessExits and OneShotTimer ports.
add_library(lumivo_main_loop_watches STATIC
  ${CMAKE_CURRENT_LIST_DIR}/pidfd_process_exits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/glib_one_shot_timer.cpp)
target_link_libraries(lumivo_main_loop_watches PUBLIC PkgConfig::GLIB)
