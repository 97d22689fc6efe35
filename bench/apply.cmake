# The apply-back's latency with the real editor and plug-in: build/bench/apply_round_trip, run
# by hand under a display and a session bus.
add_executable(apply_round_trip ${CMAKE_CURRENT_LIST_DIR}/apply_round_trip.cpp)
target_link_libraries(apply_round_trip PRIVATE lumivo_atspi lumivo_panel_apply_logic)
target_compile_definitions(apply_round_trip PRIVATE LUMIVO_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(apply_round_trip lumivo-host LumivoFilter)
