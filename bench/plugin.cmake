# The plug-in's hand-off and apply paths: build/bench/plugin_handoff, run by hand.
add_executable(plugin_handoff ${CMAKE_CURRENT_LIST_DIR}/plugin_handoff.cpp)
target_link_libraries(plugin_handoff PRIVATE
  lumivo_plugin_core lumivo_host_core lumivo_send_notifier PkgConfig::PNG PkgConfig::LCMS2)
