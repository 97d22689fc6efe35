# The panel's frame export on a 24-megapixel frame: build/bench/panel_export, run by hand under
# xvfb-run and dbus-run-session.
add_executable(panel_export
  ${CMAKE_CURRENT_LIST_DIR}/panel_export.cpp
  ${CMAKE_CURRENT_LIST_DIR}/imaging_mosaic.cpp
  ${PROJECT_SOURCE_DIR}/tests/panel/panel_process.cpp)
target_link_libraries(panel_export PRIVATE lumivo_imaging lumivo_panel_bridge Threads::Threads)
target_compile_definitions(panel_export PRIVATE
  LUMIVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" LUMIVO_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(panel_export LumivoAffinity lumivo_panel_page)
