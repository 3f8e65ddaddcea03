# 64-bit ARM Windows through Zig's clang and its bundled mingw-w64 runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/../scripts/zig-arm64-cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/../scripts/zig-arm64-c++)
set(CMAKE_AR ${CMAKE_CURRENT_LIST_DIR}/../scripts/zig-arm64-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CMAKE_CURRENT_LIST_DIR}/../scripts/zig-arm64-ranlib CACHE FILEPATH "")
set(VARNO_ARCH arm64)
