list(APPEND VARNO_WIN32_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/entry_decryption.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_transfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extract_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extract_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extraction_workers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_groups.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_target.cpp
  ${CMAKE_CURRENT_LIST_DIR}/storage_probe.cpp)
