list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/place_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overwrite_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/password_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/taskbar_progress.cpp)
