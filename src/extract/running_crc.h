// The CRC-32 of an entry's bytes, taken with zlib's crc32_z on each block as it is delivered.
// The large blocks of a large entry are copied and summed on a helper thread while the caller
// goes on decoding and writing; a caller that comes back before the helper is done sums the
// rest of the block from its end, so that it never waits idle (the two parts are joined with
// crc32_combine). Checking a big entry thus costs little more than the copy while a second
// core is free, and no more than summing in line when none is.
#pragma once
#include <windows.h>
#include <stdint.h>

class RunningCrc {
public:
    RunningCrc() = default;
    ~RunningCrc();  // ends the helper thread, if one was started
    RunningCrc(const RunningCrc&) = delete;
    RunningCrc& operator=(const RunningCrc&) = delete;

    // Adds a block of an entry of entrySize bytes; the block may be reused at once.
    void add(const uint8_t* data, uint32_t length, uint64_t entrySize);
    // The CRC-32 of every byte added so far.
    uint32_t value();

private:
    static unsigned __stdcall helper_main(void* argument);
    bool start_helper();
    void finish_block();
    void complete_if_summed();

    HANDLE thread_ = nullptr;
    bool helperFailed_ = false;
    uint8_t* copy_ = nullptr;  // the posted block
    // Guarded by lock_ while a helper runs. The helper sums the posted block from its start,
    // continuing value_, the caller from its end: [0, frontDone_) is summed in frontValue_,
    // [backDone_, length_) in backValue_, and [front_, back_) is not yet taken by either.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    uint32_t value_ = 0;
    uint32_t length_ = 0;
    uint32_t front_ = 0, frontDone_ = 0, frontValue_ = 0;
    uint32_t back_ = 0, backDone_ = 0, backValue_ = 0;
    bool posted_ = false;
    bool stop_ = false;
};
