# The filter's runs in GIMP through the bridge, beside the demo host: build/bench/gimp_bridge,
# run by hand under a display and a session bus (bench/gimp_bridge.sh runs it for both GIMPs).
add_executable(gimp_bridge ${CMAKE_CURRENT_LIST_DIR}/gimp_bridge.cpp)
target_link_libraries(gimp_bridge PRIVATE lumivo_atspi lumivo_panel_apply_logic lumivo_imaging
  lumivo_spool lumivo_running_apps)
add_dependencies(gimp_bridge lumivo-host LumivoFilter LumivoAffinity)
# The GIMP whose bridge this build has, as the roads name it: gimp3, gimp (2.10) or none.
set(bench_gimp "")
if(TARGET lumivo-gimp3)
  set(bench_gimp gimp3)
  add_dependencies(gimp_bridge lumivo-gimp3)
elseif(TARGET lumivo-gimp)
  set(bench_gimp gimp)
  add_dependencies(gimp_bridge lumivo-gimp)
endif()
target_compile_definitions(gimp_bridge PRIVATE LUMIVO_GIMP_BRIDGE="${bench_gimp}"
  LUMIVO_BINARY_DIR="${CMAKE_BINARY_DIR}" LUMIVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
