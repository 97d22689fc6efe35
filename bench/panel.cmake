# The panel's frame export on a 24-megapixel frame: build/bench/panel_export, run by hand under
# xvfb-run and dbus-run-session.
if(TARGET LumivoAffinity AND TARGET lumivo_imaging)
  set(panel_bench_sources
    ${CMAKE_CURRENT_LIST_DIR}/panel_export.cpp
    ${PROJECT_SOURCE_DIR}/tests/panel/panel_process.cpp)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/imaging_mosaic.cpp)
    list(APPEND panel_bench_sources ${CMAKE_CURRENT_LIST_DIR}/imaging_mosaic.cpp)
  endif()
  add_executable(panel_export ${panel_bench_sources})
  target_link_libraries(panel_export PRIVATE lumivo_imaging lumivo_panel_bridge Threads::Threads)
  target_compile_definitions(panel_export PRIVATE
    LUMIVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" LUMIVO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/imaging_mosaic.cpp)
    target_compile_definitions(panel_export PRIVATE LUMIVO_HAVE_MOSAIC=1)
  endif()
  add_dependencies(panel_export LumivoAffinity lumivo_panel_page)
endif()
