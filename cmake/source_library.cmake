# varno_source_library(NAME FOLDER SOURCES file... [PUBLIC_INCLUDES dir...] [INCLUDES dir...]
#                      [PUBLIC_DEFINES def...] [DEFINES def...])
# A static library of the C files of a source package that scripts/setup.sh unpacked into
# .tools/FOLDER (every path relative to that folder), built once in each configuration with the
# configuration's own compiler and flags: mingw-w64 for x64, Zig for ARM64, and clang with the
# sanitizers and fuzzing counters natively. The package's warnings are not varno's to fix.
function(varno_source_library name folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;PUBLIC_INCLUDES;INCLUDES;PUBLIC_DEFINES;DEFINES")
  set(root ${PROJECT_SOURCE_DIR}/.tools/${folder})
  if(NOT EXISTS ${root})
    message(FATAL_ERROR "${root} is missing: scripts/setup.sh unpacks it")
  endif()
  foreach(list SOURCES PUBLIC_INCLUDES INCLUDES)
    list(TRANSFORM arg_${list} PREPEND ${root}/)
  endforeach()
  add_library(${name} STATIC ${arg_SOURCES})
  target_include_directories(${name} SYSTEM PUBLIC ${arg_PUBLIC_INCLUDES} PRIVATE ${arg_INCLUDES})
  target_compile_definitions(${name} PUBLIC ${arg_PUBLIC_DEFINES} PRIVATE ${arg_DEFINES})
  target_compile_options(${name} PRIVATE -w)
endfunction()
