list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/extract_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extract_entry.cpp)
