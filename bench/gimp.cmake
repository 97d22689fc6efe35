# The filter's runs in GIMP through the bridge, beside the demo host: build/bench/gimp_bridge,
# run by hand under a display and a session bus.
add_executable(gimp_bridge ${CMAKE_CURRENT_LIST_DIR}/gimp_bridge.cpp)
target_link_libraries(gimp_bridge PRIVATE lumivo_atspi lumivo_panel_apply_logic lumivo_imaging
  lumivo_spool lumivo_running_apps)
target_compile_definitions(gimp_bridge PRIVATE
  LUMIVO_BINARY_DIR="${CMAKE_BINARY_DIR}" LUMIVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(gimp_bridge lumivo-host lumivo-gimp LumivoFilter LumivoAffinity)
