// The output of one entry: a file created under the overwrite policy, a memory block made for
// the caller, the caller's own buffer, or nothing at all for the test command. No output
// takes more than the entry's declared size; under verification the delivered bytes are summed.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/entry_extras.h"
#include "codec/decoder.h"
#include "extract/output_files.h"

struct ExtractJob;

class OutputTarget {
public:
    OutputTarget() = default;
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    // Makes the target of the entry in extras (whose times it takes) of declaredSize bytes, by
    // the archive's output mode: the file at path (which creation may change in place), a
    // memory block, the caller's buffer, or a discarding target under the test command.
    // crcRecorded tells whether the entry's CRC-32 field holds one (an AE-2 entry records none);
    // under verification the bytes are then summed. False with the job's result set when it
    // cannot be made.
    bool make(ExtractJob* job, wchar_t* path, EntryExtraInfo* extras, uint64_t declaredSize, bool crcRecorded);
    // Sizes a file target to the declared size in advance, so that it can be allocated in one
    // piece; false (reported, with the job's result set) when that failed.
    bool presize();

    // A decoder's OutputFunction over the target in descriptor: 0 when the block was taken. A
    // block that would pass the declared size is refused (a size error). Output beyond a memory
    // target's room is dropped while it arrives in the same block. A block at the span
    // whole_entry() offers is taken where it lies.
    static int write(void* descriptor, uint8_t* data, uint32_t length);
    // What the target offers a decoder that takes the entry whole: the recorded CRC-32 and where
    // to confirm it, how many bytes it takes before it cuts a block short, and a block made for
    // the caller to decode into in place. Only such a block offers itself: a decoder may leave
    // bytes changed past the data it delivers, which the caller's own buffer would keep, while a
    // failure frees the block. Input size and memory are the caller's to fill in.
    WholeEntry whole_entry();
    // True once a block was refused; report_refusal then writes why and returns the result.
    bool refused() const { return oversize_ || full_ || writeError_ != 0; }
    int32_t report_refusal();

    // Under verification: 0 when the bytes delivered match the declared size and (when the
    // entry records one) its CRC-32, else the data error's result with its message written.
    int32_t verify();
    uint64_t produced() const { return produced_; }
    uint64_t declared_size() const { return declaredSize_; }
    bool discards() const { return discard_; }
    bool to_memory() const { return toMemory_; }

    // Completes a file target: a stream that ended before its declared size leaves no
    // zero-filled tail, a replacement takes the existing file's place, the entry's times are
    // set, the file is closed. False (the job's result set, the file removed) when the
    // replacement could not take its place.
    bool finish();
    // Removes what a failed entry left: the partial file or replacement, or the block made for
    // the caller.
    void discard();

private:
    bool make_memory(uint64_t size);

    ExtractJob* job_ = nullptr;
    const wchar_t* path_ = nullptr;
    const EntryExtraInfo* extras_ = nullptr;
    bool made_ = false;
    OutputFile file_ = {};
    bool toMemory_ = false;
    bool blockForCaller_ = false;
    uint8_t* memoryCursor_ = nullptr;
    int64_t memoryLeft_ = 0;  // bytes still free (64-bit: a caller's buffer may exceed 2 GiB)
    uint64_t produced_ = 0;   // decoded bytes delivered, also those dropped for want of room
    uint64_t declaredSize_ = 0;
    bool crcRecorded_ = false;
    uint32_t recordedCrc_ = 0;
    bool crcConfirmed_ = false;  // by a decoder: verification takes its word instead of summing
    DWORD writeError_ = 0;    // set when a write failed
    bool full_ = false;       // a block arrived for a memory target without room
    bool verify_ = false;
    bool sumCrc_ = false;
    bool discard_ = false;    // the test command: a memory target that keeps nothing
    bool oversize_ = false;   // a block would have passed the declared size
    uint32_t crc_ = 0;        // of the bytes delivered, under verification
};
