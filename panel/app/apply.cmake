# Apply-back and the accessibility permission.
# lumivo_panel_apply_logic: the logic against its ports, for the unit tests.
# lumivo_panel_apply: the same with the desktop adapters and makeApplyModule, for the program.

add_library(lumivo_panel_apply_logic STATIC
  ${CMAKE_CURRENT_LIST_DIR}/accessibility_bookkeeping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apply_auto_press.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apply_back.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apply_menu_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/apply_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/result_decode.cpp)
target_link_libraries(lumivo_panel_apply_logic PUBLIC
  lumivo_panel_bridge lumivo_imaging lumivo_spool lumivo_tasks nlohmann_json::nlohmann_json)

add_library(lumivo_panel_apply STATIC ${CMAKE_CURRENT_LIST_DIR}/apply_module.cpp)
target_link_libraries(lumivo_panel_apply PUBLIC
  lumivo_panel_apply_logic lumivo_atspi lumivo_keyfile_defaults lumivo_running_apps
  lumivo_bundle lumivo_window_stacking)
