list(APPEND VARNO_PORTABLE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/bzip2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bzip2_blocks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/crc32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decode_threads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decoders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deflate64.cpp
  ${CMAKE_CURRENT_LIST_DIR}/implode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inflate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/legacy_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lzma.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ppmd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reduce.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shrink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stored.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stream_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xz.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zstd.cpp)
# The platform's threads for the decoders that use helpers: the Windows API in the DLLs, POSIX
# threads natively.
if(WIN32)
  list(APPEND VARNO_WIN32_SOURCES ${CMAKE_CURRENT_LIST_DIR}/decode_threads_win32.cpp)
else()
  list(APPEND VARNO_PORTABLE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/decode_threads_posix.cpp)
endif()

# The libraries the decoders stand on, each built from the C files its decoder needs
# (cmake/source_library.cmake; scripts/setup.sh unpacks the sources into .tools/).
# zlib: mingw-w64's static library on x64, the system's natively, built from source on ARM64.
if(VARNO_ARCH STREQUAL arm64)
  varno_source_library(varno_zlib zlib-src PUBLIC_INCLUDES .
    SOURCES adler32.c crc32.c inflate.c inftrees.c inffast.c zutil.c)
elseif(WIN32)
  find_library(VARNO_ZLIB_A NAMES libz.a REQUIRED)
  add_library(varno_zlib STATIC IMPORTED GLOBAL)
  set_target_properties(varno_zlib PROPERTIES IMPORTED_LOCATION ${VARNO_ZLIB_A})
else()
  find_package(ZLIB REQUIRED)
  add_library(varno_zlib INTERFACE)
  target_link_libraries(varno_zlib INTERFACE ZLIB::ZLIB)
endif()

varno_source_library(varno_bzip2 bzip2-src PUBLIC_INCLUDES . PUBLIC_DEFINES BZ_NO_STDIO
  SOURCES blocksort.c bzlib.c compress.c crctable.c decompress.c huffman.c randtable.c)

# liblzma: the LZMA1 and LZMA2 decoders, the .xz stream decoder with its branch and delta filters.
set(lz src/liblzma)
varno_source_library(varno_lzma xz-src PUBLIC_INCLUDES ${lz}/api PUBLIC_DEFINES LZMA_API_STATIC
  INCLUDES src/common ${lz}/common ${lz}/check ${lz}/lz ${lz}/lzma ${lz}/rangecoder ${lz}/simple ${lz}/delta
  DEFINES HAVE_STDBOOL_H HAVE__BOOL HAVE_STDINT_H HAVE_INTTYPES_H HAVE___BUILTIN_BSWAPXX
    TUKLIB_FAST_UNALIGNED_ACCESS TUKLIB_SYMBOL_PREFIX=lzma_ HAVE_CHECK_CRC32 HAVE_CHECK_CRC64
    HAVE_CHECK_SHA256 HAVE_DECODER_LZMA1 HAVE_DECODER_LZMA2 HAVE_DECODER_DELTA HAVE_DECODER_X86
    HAVE_DECODER_ARM HAVE_DECODER_ARMTHUMB HAVE_DECODER_ARM64 HAVE_DECODER_POWERPC HAVE_DECODER_IA64
    HAVE_DECODER_SPARC
  SOURCES ${lz}/common/block_decoder.c ${lz}/common/block_header_decoder.c ${lz}/common/block_util.c
    ${lz}/common/common.c ${lz}/common/filter_common.c ${lz}/common/filter_decoder.c
    ${lz}/common/filter_flags_decoder.c ${lz}/common/index_hash.c ${lz}/common/stream_decoder.c
    ${lz}/common/stream_flags_common.c ${lz}/common/stream_flags_decoder.c ${lz}/common/vli_decoder.c
    ${lz}/common/vli_size.c ${lz}/check/check.c ${lz}/check/crc32_fast.c ${lz}/check/crc32_table.c
    ${lz}/check/crc64_fast.c ${lz}/check/crc64_table.c ${lz}/check/sha256.c ${lz}/lz/lz_decoder.c
    ${lz}/lzma/lzma_decoder.c ${lz}/lzma/lzma2_decoder.c ${lz}/delta/delta_common.c ${lz}/delta/delta_decoder.c
    ${lz}/simple/simple_coder.c ${lz}/simple/simple_decoder.c ${lz}/simple/x86.c ${lz}/simple/arm.c
    ${lz}/simple/armthumb.c ${lz}/simple/arm64.c ${lz}/simple/powerpc.c ${lz}/simple/ia64.c ${lz}/simple/sparc.c)

# libzstd: decompression only, without the legacy formats and the assembly Huffman decoder
# (which needs an ELF target).
varno_source_library(varno_zstd zstd-src PUBLIC_INCLUDES lib
  DEFINES ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM ZSTD_TRACE=0
  SOURCES lib/common/debug.c lib/common/entropy_common.c lib/common/error_private.c
    lib/common/fse_decompress.c lib/common/xxhash.c lib/common/zstd_common.c
    lib/decompress/huf_decompress.c lib/decompress/zstd_ddict.c lib/decompress/zstd_decompress.c
    lib/decompress/zstd_decompress_block.c)

# libdeflate: whole-buffer Deflate decoding and the CRC-32, with its run-time choice of x86
# instructions. On 64-bit ARM its CRC routine is built a second time for processors with the
# ARMv8 CRC and PMULL instructions, under a name of its own (codec/crc32.cpp chooses).
set(ld_arch_sources lib/x86/cpu_features.c)
if(VARNO_ARCH STREQUAL arm64)
  set(ld_arch_sources lib/arm/cpu_features.c)
endif()
varno_source_library(varno_deflate libdeflate-src PUBLIC_INCLUDES .
  SOURCES lib/deflate_decompress.c lib/crc32.c lib/utils.c ${ld_arch_sources})
if(VARNO_ARCH STREQUAL arm64)
  varno_source_library(varno_deflate_crc_armv8 libdeflate-src INCLUDES . DEFINES libdeflate_crc32=libdeflate_crc32_armv8
    SOURCES lib/crc32.c)
  target_compile_options(varno_deflate_crc_armv8 PRIVATE -mcpu=generic+crc+crypto)
  target_link_libraries(varno_deflate INTERFACE varno_deflate_crc_armv8)
endif()

# The PPMd variant I decoder of the LZMA SDK, from the 7zip source package.
varno_source_library(varno_ppmd 7zip-src PUBLIC_INCLUDES C SOURCES C/Ppmd8.c C/Ppmd8Dec.c)

set(VARNO_CODEC_LIBRARIES varno_zlib varno_bzip2 varno_lzma varno_zstd varno_deflate varno_ppmd)
