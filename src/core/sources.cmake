list(APPEND VARNO_PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/format_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reusable_buffer.cpp)
list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/library_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messages.cpp)
