list(APPEND VARNO_PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/aes_ctr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/aes_extra_field.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cpu_features.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pbkdf2_sha1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/traditional_cipher.cpp)
list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/password_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winzip_aes.cpp)
