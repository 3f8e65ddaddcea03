// The CRC-32 of an entry's bytes, taken with zlib's crc32_z on each block as it is delivered.
// A large block of a large entry is handed, as a copy, to a helper thread whenever the helper
// is free, and the caller goes on decoding and writing; the caller sums the blocks that come
// while the helper is busy and takes back a block the helper has not begun, so that it never
// waits for the helper before the entry's end. The parts are joined in order with
// crc32_combine. Checking a big entry thus costs little more than the copies while a second
// core is free, and hardly more than summing in line when none is.
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
    enum class Helper { Idle, Posted, Summing, Summed };
    static unsigned __stdcall helper_main(void* argument);
    bool start_helper();
    void join_helper_block(bool wait);

    HANDLE thread_ = nullptr;
    bool helperFailed_ = false;
    uint8_t* copy_ = nullptr;  // the block handed to the helper
    // The bytes added are, in order: those summed in value_; while a block is outstanding,
    // the helper's block, then the caller's blocks since (tailValue_ over tailLength_ bytes).
    uint32_t value_ = 0;
    bool outstanding_ = false;
    uint32_t tailValue_ = 0;
    uint64_t tailLength_ = 0;
    // Guarded by lock_.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    Helper state_ = Helper::Idle;
    uint32_t blockLength_ = 0;
    uint32_t blockValue_ = 0;  // the helper's sum of its block, from 0
    bool stop_ = false;
};
