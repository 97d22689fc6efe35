# The running-application lookup over /proc, and what identifies a process's program.
add_library(lumivo_running_apps STATIC
  ${CMAKE_CURRENT_LIST_DIR}/proc_running_apps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proc_executable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/editor_programs.cpp)
target_link_libraries(lumivo_running_apps PUBLIC lumivo_bundle)
