list(APPEND VARNO_PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/command_walk.cpp)
list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/close_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exports_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exports_handles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exports_stateless.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_command.cpp)
