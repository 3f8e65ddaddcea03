// The per-call job record and the caller's parameter block for memory output.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "api/messages.h"

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
    wchar_t* outputDir;       // empty: the current directory
    int32_t outputStorageKind;  // -1 until the output volume is classified
    uint32_t isMainJob;       // 1 on the caller's thread: dialogs and progress allowed
};

// Writes a message of one class of the archive's messageMask (bit 0 errors, 1 overwrite and
// skip notices, 2 extracted files, 3 thread diagnostics) into the job's sink; nothing when the
// command turned that class off.
bool job_wants_message(const ExtractJob* job, int bit);
void job_message(ExtractJob* job, int bit, const wchar_t* format, ...);

// Runs one command string to its end and returns its result code.
int32_t run_command(HWND owner, const char* command, char* output, uint32_t outputSize, ParamBlock* params,
                    int32_t mode);
