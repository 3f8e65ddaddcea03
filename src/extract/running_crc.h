// The CRC-32 of an entry's bytes, taken with zlib's crc32_z on each block as it is delivered.
// A large block of a large entry can be summed on a helper thread while the caller writes it,
// so that checking a big file costs little more than writing it.
#pragma once
#include <windows.h>
#include <stdint.h>

class RunningCrc {
public:
    RunningCrc() = default;
    ~RunningCrc();  // ends the helper thread, if one was started
    RunningCrc(const RunningCrc&) = delete;
    RunningCrc& operator=(const RunningCrc&) = delete;

    // Sums a block at once.
    void add(const uint8_t* data, uint32_t length);
    // Starts summing a block that the caller is about to write, on the helper thread when the
    // block and the entry (entrySize bytes) are large enough to pay for it, else at once. The
    // block must stay unchanged until end_block.
    void begin_block(const uint8_t* data, uint32_t length, uint64_t entrySize);
    // Waits until the block of begin_block is summed.
    void end_block();
    uint32_t value() const { return value_; }

private:
    static unsigned __stdcall helper_main(void* argument);
    bool start_helper();

    uint32_t value_ = 0;
    HANDLE thread_ = nullptr;
    bool helperFailed_ = false;
    // Guarded by lock_: the block handed to the helper and the request to stop.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    const uint8_t* data_ = nullptr;
    uint32_t length_ = 0;
    bool posted_ = false;  // a block waits for the helper or is being summed
    bool stop_ = false;
};
