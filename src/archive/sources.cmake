list(APPEND VARNO_PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/archive_locate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_parts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/central_directory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_extras.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_overlaps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_sizes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/local_header_walk.cpp)
list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/archive_open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_names_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_times.cpp)
