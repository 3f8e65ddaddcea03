// The per-call job record and the caller's parameter block for memory output.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "core/messages.h"
#include "core/reusable_buffer.h"

struct ArchiveHandle;

// Where memory output is returned to the caller.
struct ParamBlock {
    void** memorySlot;        // VarnoParam: receives a GlobalAlloc block
    uint64_t* timeOut;        // UnZipExtractMem: the entry's DOS time
    uint16_t* attributesOut;  // UnZipExtractMem: the entry's internal attributes
    uint64_t* sizeOut;        // UnZipExtractMem: the entry's size
};

constexpr size_t kWorkAreaSize = 0x200000;  // 2 MiB: 1 MiB input, 1 MiB output

struct ExtractJob {
    ArchiveHandle* archive;
    MessageSink sink;
    MessageSink* parentSink;  // in a worker's job: the main job's sink
    ParamBlock* params;
    uint8_t* workArea;        // made on first need by the job driver
    ReusableBuffer decoderMemory;  // kept by a decoder from entry to entry; released with the work area
    wchar_t* outputDir;       // empty: the current directory
    int32_t outputStorageKind;  // -1 until the output volume is classified
    uint32_t isMainJob;       // 1 on the caller's thread: dialogs and progress allowed
};
