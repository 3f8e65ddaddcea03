// liblzma's decoders, behind the LZMA (lzma.cpp) and XZ (xz.cpp) methods.
#pragma once
#include <lzma.h>

#include "codec/stream_decoder.h"

using LzmaRecord = StreamRecord<lzma_stream>;

// One lzma_code call on the lzma_stream at library.
StepEnd lzma_step(void* library, StreamBuffers* buffers, int* status);
