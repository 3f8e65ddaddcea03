// A bzip2 stream is a header ("BZh" and the block size digit), a run of blocks that each begin
// with a 48-bit magic at any bit position and carry the CRC of their own output, and an end
// magic with the combined CRC of all blocks. The calling thread reads the compressed bytes, finds
// the magics, and hands each block to a helper as a stream of its own: the header, the block's
// bits shifted to a byte boundary, an end magic and, as combined CRC, the block's own. libbz2
// checks that block's CRC; the helper's stream ending exactly behind the block confirms that
// the next magic is where the stream's next block or end really begins, since a block that ended
// earlier would have met other bits there. The calling thread delivers the decoded blocks in
// their order and checks the combined CRC at the stream's end.
//
// Whatever is not confirmed (a magic inside a block's data, a damaged or cut block, a missing
// end, a block too long to be taken apart) is decoded from the start of the first unconfirmed
// block on by libbz2 on the calling thread, set to where a decoder of the whole stream would
// stand there (resume_bzip2); the bytes of that block already delivered are not delivered again.
// The entry therefore ends exactly as the one-thread decoder ends it, with the same bytes.
#include <stdlib.h>
#include <string.h>

#include "codec/bzip2_blocks.h"
#include "codec/decode_threads.h"

namespace {

constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kEndMagic = 0x177245385090;
constexpr unsigned kMagicBits = 48;
constexpr unsigned kCrcBits = 32;
constexpr uint64_t kNone = UINT64_MAX;

// Entries from this declared size on are decoded in blocks.
constexpr uint64_t kBlocksFrom = 2u << 20;
// Decoding threads of one entry, and the blocks in flight for each: decoded, being decoded or
// waiting for a thread.
constexpr uint32_t kMaxHelpers = 8;
constexpr uint32_t kSlotsPerHelper = 2;
// A block's output is handed over in pieces of this size; most blocks (900 kB at most before
// bzip2's run-length step) fit in one.
constexpr uint32_t kSlotOutput = 1u << 20;
// Compressed blocks longer than this are not taken apart: encoders write about 1 MB at most for
// a block of 900 kB (a stream can be made to pad its code tables without bound).
constexpr uint64_t kLongestBlock = 2u << 20;
// The compressed bytes held grow by whole MiB, and shrink to what is still needed first; a
// slot's room for its block as a stream grows by 256 KiB.
constexpr size_t kHeldGrain = 1u << 20;
constexpr size_t kStreamGrain = 256u << 10;

// count (at most 57) bits of data from bit position at on, the first the highest.
uint64_t read_bits(const uint8_t* data, uint64_t at, unsigned count)
{
    const uint8_t* byte = data + at / 8;
    const unsigned skip = at % 8;
    const unsigned bytes = (skip + count + 7) / 8;
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value = value << 8 | byte[i];
    return value >> (8 * bytes - skip - count) & ((uint64_t{1} << count) - 1);
}

// A magic that begins at bit 8 * i + s holds all of bytes i + 1 and i + 2: by their values, the
// placements (bit s for a block magic, bit 8 + s for an end magic) they fit.
struct MagicTables {
    uint16_t second[256];
    uint16_t third[256];
};

constexpr MagicTables make_magic_tables()
{
    MagicTables tables = {};
    const uint64_t magics[2] = {kBlockMagic, kEndMagic};
    for (unsigned kind = 0; kind < 2; ++kind) {
        for (unsigned s = 0; s < 8; ++s) {
            const unsigned placement = 1u << (8 * kind + s);
            uint16_t& second = tables.second[magics[kind] >> (32 + s) & 0xFF];
            uint16_t& third = tables.third[magics[kind] >> (24 + s) & 0xFF];
            second = static_cast<uint16_t>(second | placement);
            third = static_cast<uint16_t>(third | placement);
        }
    }
    return tables;
}

constexpr MagicTables kMagicTables = make_magic_tables();

// The first bit position from `from` on where a block or end magic begins whose bits lie in
// data[0, size) with a byte to spare, or kNone: every position before 8 * (size - 6) was searched.
uint64_t find_magic(const uint8_t* data, size_t size, uint64_t from, bool* isEnd)
{
    for (size_t i = from / 8; i + 7 <= size; ++i) {
        const unsigned placements = kMagicTables.second[data[i + 1]] & kMagicTables.third[data[i + 2]];
        for (unsigned s = 0; placements != 0 && s < 8; ++s) {
            const uint64_t at = 8 * i + s;
            if ((placements >> s & 0x101) == 0 || at < from)
                continue;
            const uint64_t bits = read_bits(data, at, kMagicBits);
            if (bits == kBlockMagic || bits == kEndMagic) {
                *isEnd = bits == kEndMagic;
                return at;
            }
        }
    }
    return kNone;
}

// Writes count bits of src from bit position from on to dst from its first bit, zero after them.
void copy_bits(uint8_t* dst, const uint8_t* src, uint64_t from, uint64_t count)
{
    src += from / 8;
    const unsigned shift = from % 8;
    const size_t bytes = (count + 7) / 8;
    const size_t srcBytes = (shift + count + 7) / 8;
    if (shift == 0) {
        memcpy(dst, src, bytes);
    } else {
        for (size_t i = 0; i < bytes; ++i)
            dst[i] = static_cast<uint8_t>(src[i] << shift | (i + 1 < srcBytes ? src[i + 1] >> (8 - shift) : 0));
    }
    if (count % 8 != 0)
        dst[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - count % 8));
}

// Sets the count low bits of value, the highest first, at bit position at of dst, whose bits
// there are zero.
void put_bits(uint8_t* dst, uint64_t at, uint64_t value, unsigned count)
{
    for (unsigned i = 0; i < count; ++i) {
        if (value >> (count - 1 - i) & 1)
            dst[(at + i) / 8] |= static_cast<uint8_t>(0x80 >> ((at + i) % 8));
    }
}

uint32_t fold_crc(uint32_t combined, uint32_t block) { return (combined << 1 | combined >> 31) ^ block; }

// The output of decoding resumed inside the stream: the first `skip` bytes were delivered before.
struct ResumedOutput {
    const DecodeRequest* request;
    uint64_t skip;
};

int deliver_resumed(void* descriptor, uint8_t* data, uint32_t count)
{
    ResumedOutput* own = static_cast<ResumedOutput*>(descriptor);
    const uint32_t skipped = own->skip < count ? static_cast<uint32_t>(own->skip) : count;
    own->skip -= skipped;
    if (skipped == count)
        return 0;
    return own->request->output(own->request->outputDescriptor, data + skipped, count - skipped);
}

enum class SlotState { queued, decoding, full, confirmed, unsure };

// A block in flight. The calling thread fills in the block while the slot is free; state and
// outCount change under the lock.
struct Slot {
    uint64_t start;     // the block's first bit in the entry's stream
    uint32_t storedCrc;  // the CRC its header records
    uint8_t* stream;    // the block as a stream of its own
    size_t streamSize;
    size_t streamRoom;
    uint8_t* out;       // kSlotOutput bytes
    uint32_t outCount;  // decoded bytes in out, once full or confirmed
    SlotState state;
};

enum class Pull { got, ended, noMemory };

class BlockDecoder {
public:
    BlockDecoder(bz_stream* stream, const DecodeRequest& request, StreamBuffers buffers, int* status)
        : stream_(stream), request_(request), buffers_(buffers), status_(status)
    {
    }
    ~BlockDecoder();
    BlockDecoder(const BlockDecoder&) = delete;
    BlockDecoder& operator=(const BlockDecoder&) = delete;

    // Decodes the entry with up to `helpers` helper threads.
    DecodeEnd run(uint32_t helpers);

private:
    static void help_thread(void* decoder) { static_cast<BlockDecoder*>(decoder)->help(); }
    void help();
    void decode_block(Slot& slot);
    DecodeEnd decode();
    Pull pull();
    bool fill();
    bool queue_block(uint64_t end);
    DecodeEnd finish();
    DecodeEnd resume(uint64_t start, uint32_t crcBefore, uint64_t deliveredBefore, uint64_t skip);
    DecodeEnd no_memory();
    void stop_helpers();
    uint64_t held_end() const { return 8 * (heldBase_ + heldSize_); }
    uint64_t relative(uint64_t bit) const { return bit - 8 * heldBase_; }

    bz_stream* const stream_;
    const DecodeRequest& request_;
    const StreamBuffers buffers_;
    int* const status_;

    // Compressed bytes from byte heldBase_ of the stream on: from the last delivered block on,
    // which a failed end check decodes again, to what was read.
    uint8_t* held_ = nullptr;
    size_t heldSize_ = 0;
    size_t heldRoom_ = 0;
    uint64_t heldBase_ = 0;
    uint64_t keep_ = 0;  // the first bit still needed

    uint8_t level_ = 0;        // the block size digit
    uint64_t next_ = 0;        // where the next block to queue begins
    uint64_t searched_ = 0;    // no magic begins between next_ + 48 and here
    uint64_t endAt_ = kNone;   // the end magic behind the last queued block
    bool stuck_ = false;       // the next block's end cannot be found
    uint32_t combined_ = 0;    // of the delivered blocks
    uint64_t delivered_ = 0;   // bytes
    // The last delivered block: where it began, its bytes, the combined CRC of those before it.
    uint64_t lastStart_ = 0;
    uint64_t lastSize_ = 0;
    uint32_t lastCrcBefore_ = 0;

    Slot slots_[kMaxHelpers * kSlotsPerHelper] = {};
    uint8_t* outputs_ = nullptr;
    uint32_t slotCount_ = 0;
    uint64_t head_ = 0;         // the next block to deliver, counted from the stream's first
    uint64_t headDelivered_ = 0;  // its bytes delivered while it was still being decoded
    HelperThread threads_[kMaxHelpers] = {};
    uint32_t started_ = 0;
    DecodeSync* sync_ = nullptr;
    // Under the lock:
    uint64_t queued_ = 0;  // blocks queued
    uint64_t taken_ = 0;   // blocks taken by a helper
    bool stopping_ = false;
};

BlockDecoder::~BlockDecoder()
{
    stop_helpers();
    for (Slot& slot : slots_)
        free(slot.stream);
    free(outputs_);
    free(held_);
    if (sync_)
        destroy_sync(sync_);
}

DecodeEnd BlockDecoder::run(uint32_t helpers)
{
    slotCount_ = helpers * kSlotsPerHelper;
    sync_ = create_sync();
    outputs_ = static_cast<uint8_t*>(malloc(static_cast<size_t>(slotCount_) * kSlotOutput));
    if (sync_ && outputs_) {
        for (uint32_t i = 0; i < slotCount_; ++i)
            slots_[i].out = outputs_ + static_cast<size_t>(i) * kSlotOutput;
        while (started_ < helpers && start_helper(&threads_[started_], help_thread, this))
            ++started_;
    }
    // Without helpers the entry is decoded as a whole on this thread, from its start.
    if (started_ == 0)
        return decode_stream(bzip2_step, stream_, request_, buffers_, status_);
    return decode();
}

void BlockDecoder::stop_helpers()
{
    if (started_ == 0)
        return;
    lock_sync(sync_);
    stopping_ = true;
    wake_all(sync_);
    unlock_sync(sync_);
    for (uint32_t i = 0; i < started_; ++i)
        join_helper(&threads_[i]);
    started_ = 0;
}

// A helper takes the queued blocks in their order until it is stopped.
void BlockDecoder::help()
{
    lock_sync(sync_);
    for (;;) {
        while (!stopping_ && taken_ == queued_)
            wait_sync(sync_);
        if (stopping_)
            break;
        Slot& slot = slots_[taken_++ % slotCount_];
        slot.state = SlotState::decoding;
        unlock_sync(sync_);
        decode_block(slot);
    }
    unlock_sync(sync_);
}

// Decodes the slot's block into its output; a filled output waits there until the calling
// thread has delivered it. Returns holding the lock, with the slot confirmed or unsure.
void BlockDecoder::decode_block(Slot& slot)
{
    bz_stream stream = {};
    SlotState end = SlotState::unsure;
    uint32_t count = 0;
    if (BZ2_bzDecompressInit(&stream, 0, 0) == BZ_OK) {
        stream.next_in = reinterpret_cast<char*>(slot.stream);
        stream.avail_in = static_cast<unsigned>(slot.streamSize);
        for (;;) {
            stream.next_out = reinterpret_cast<char*>(slot.out);
            stream.avail_out = kSlotOutput;
            const int code = BZ2_bzDecompress(&stream);
            count = kSlotOutput - stream.avail_out;
            if (code == BZ_STREAM_END) {
                if (stream.avail_in == 0)
                    end = SlotState::confirmed;
                break;
            }
            // A failure, or the input used up before the stream's end.
            if (code != BZ_OK || stream.avail_out != 0)
                break;
            lock_sync(sync_);
            slot.outCount = count;
            slot.state = SlotState::full;
            wake_all(sync_);
            while (slot.state == SlotState::full && !stopping_)
                wait_sync(sync_);
            const bool stop = stopping_;
            unlock_sync(sync_);
            if (stop)
                break;
        }
        BZ2_bzDecompressEnd(&stream);
    }
    lock_sync(sync_);
    slot.outCount = end == SlotState::confirmed ? count : 0;
    slot.state = end;
    wake_all(sync_);
}

// Appends the next input chunk to the held bytes, first dropping those no longer needed.
Pull BlockDecoder::pull()
{
    uint8_t* next = nullptr;
    const uint32_t count = request_.input(request_.inputDescriptor, &next);
    if (count == 0)
        return Pull::ended;
    const size_t drop = static_cast<size_t>(keep_ / 8 - heldBase_);
    if (heldSize_ + count > heldRoom_ && drop > 0) {
        memmove(held_, held_ + drop, heldSize_ - drop);
        heldSize_ -= drop;
        heldBase_ += drop;
    }
    if (heldSize_ + count > heldRoom_) {
        const size_t room = (heldSize_ + count + kHeldGrain - 1) / kHeldGrain * kHeldGrain;
        uint8_t* grown = static_cast<uint8_t*>(realloc(held_, room));
        if (!grown)
            return Pull::noMemory;
        held_ = grown;
        heldRoom_ = room;
    }
    memcpy(held_ + heldSize_, next, count);
    heldSize_ += count;
    return Pull::got;
}

// Makes the block from next_ to end a stream of its own in the next free slot and queues it;
// false without memory for it.
bool BlockDecoder::queue_block(uint64_t end)
{
    Slot& slot = slots_[queued_ % slotCount_];
    const uint64_t bits = end - next_;
    const size_t size = static_cast<size_t>(4 + (bits + kMagicBits + kCrcBits + 7) / 8);
    if (size > slot.streamRoom) {
        free(slot.stream);
        slot.streamRoom = (size + kStreamGrain - 1) / kStreamGrain * kStreamGrain;
        slot.stream = static_cast<uint8_t*>(malloc(slot.streamRoom));
        if (!slot.stream) {
            slot.streamRoom = 0;
            return false;
        }
    }
    slot.start = next_;
    slot.storedCrc = static_cast<uint32_t>(read_bits(held_, relative(next_) + kMagicBits, kCrcBits));
    slot.streamSize = size;
    memcpy(slot.stream, "BZh", 3);
    slot.stream[3] = level_;
    memset(slot.stream + 4, 0, size - 4);
    copy_bits(slot.stream + 4, held_, relative(next_), bits);
    put_bits(slot.stream + 4, bits, kEndMagic, kMagicBits);
    put_bits(slot.stream + 4, bits + kMagicBits, slot.storedCrc, kCrcBits);
    lock_sync(sync_);
    slot.outCount = 0;
    slot.state = SlotState::queued;
    ++queued_;
    wake_all(sync_);
    unlock_sync(sync_);
    return true;
}

// Queues the blocks whose ends are found while slots are free, reading input as needed. Sets
// stuck_ when the next block's end cannot be found; false without memory for the input.
bool BlockDecoder::fill()
{
    while (queued_ - head_ < slotCount_ && endAt_ == kNone && !stuck_) {
        bool isEnd = false;
        const uint64_t from = searched_ > next_ + kMagicBits ? searched_ : next_ + kMagicBits;
        const uint64_t found = find_magic(held_, heldSize_, relative(from), &isEnd);
        if (found == kNone) {
            searched_ = heldSize_ > 6 && held_end() - 48 > from ? held_end() - 48 : from;
            if (held_end() - next_ > 8 * kLongestBlock) {
                stuck_ = true;
                break;
            }
            const Pull pulled = pull();
            if (pulled == Pull::noMemory)
                return false;
            stuck_ = pulled == Pull::ended;
            continue;
        }
        const uint64_t at = found + 8 * heldBase_;
        if (!queue_block(at)) {
            stuck_ = true;
            break;
        }
        next_ = at;
        if (isEnd)
            endAt_ = at;
    }
    return true;
}

DecodeEnd BlockDecoder::no_memory()
{
    stop_helpers();
    *status_ = BZ_MEM_ERROR;
    return DecodeEnd::failed;
}

DecodeEnd BlockDecoder::decode()
{
    // The header, and a block's magic right behind it; any other stream is decoded from its
    // start on this thread.
    Pull pulled = Pull::got;
    while (heldSize_ < 10 && (pulled = pull()) == Pull::got) {
    }
    if (pulled == Pull::noMemory)
        return no_memory();
    if (heldSize_ < 10 || memcmp(held_, "BZh", 3) != 0 || held_[3] < '1' || held_[3] > '9' ||
        read_bits(held_, 32, kMagicBits) != kBlockMagic)
        return resume(0, 0, 0, 0);
    level_ = held_[3];
    next_ = 32;
    keep_ = 32;
    for (;;) {
        if (!fill())
            return no_memory();
        if (head_ == queued_)
            return endAt_ != kNone ? finish() : resume(next_, combined_, delivered_, 0);
        Slot& head = slots_[head_ % slotCount_];
        lock_sync(sync_);
        while (head.state == SlotState::queued || head.state == SlotState::decoding)
            wait_sync(sync_);
        const SlotState state = head.state;
        const uint32_t count = head.outCount;
        unlock_sync(sync_);
        if (state == SlotState::unsure)
            return resume(head.start, combined_, delivered_, headDelivered_);
        if (count > 0 && request_.output(request_.outputDescriptor, head.out, count) != 0) {
            stop_helpers();
            *status_ = 0;
            return DecodeEnd::failed;
        }
        headDelivered_ += count;
        if (state == SlotState::full) {
            lock_sync(sync_);
            head.state = SlotState::decoding;
            wake_all(sync_);
            unlock_sync(sync_);
            continue;
        }
        lastStart_ = head.start;
        lastSize_ = headDelivered_;
        lastCrcBefore_ = combined_;
        combined_ = fold_crc(combined_, head.storedCrc);
        delivered_ += headDelivered_;
        keep_ = head.start;
        headDelivered_ = 0;
        ++head_;
    }
}

// Every block up to the end magic was delivered: the combined CRC behind it ends the stream.
// Where it cannot be read or differs, the last block is decoded again on this thread, which
// then meets the end as the one-thread decoder does.
DecodeEnd BlockDecoder::finish()
{
    stop_helpers();
    const uint64_t crcEnd = endAt_ + kMagicBits + kCrcBits;
    Pull pulled = Pull::got;
    while (held_end() < crcEnd && (pulled = pull()) == Pull::got) {
    }
    if (pulled == Pull::noMemory)
        return no_memory();
    if (held_end() >= crcEnd && read_bits(held_, relative(endAt_) + kMagicBits, kCrcBits) == combined_)
        return DecodeEnd::complete;
    return resume(lastStart_, lastCrcBefore_, delivered_ - lastSize_, lastSize_);
}

// Decodes the rest of the stream on this thread from bit start on, where the blocks before had
// combined CRC crcBefore and deliveredBefore bytes, and skip bytes from start on were delivered.
DecodeEnd BlockDecoder::resume(uint64_t start, uint32_t crcBefore, uint64_t deliveredBefore, uint64_t skip)
{
    stop_helpers();
    const uint8_t* from = held_ + (start / 8 - heldBase_);
    size_t count = heldSize_ - static_cast<size_t>(start / 8 - heldBase_);
    if (start > 0) {
        const unsigned pending = (8 - start % 8) % 8;
        const int code = resume_bzip2(stream_, level_, pending ? *from : 0, pending, crcBefore);
        if (code != BZ_OK) {
            *status_ = code;
            return DecodeEnd::failed;
        }
        if (pending) {
            ++from;
            --count;
        }
    }
    ResumedOutput output = {&request_, skip};
    DecodeRequest rest = request_;
    rest.output = deliver_resumed;
    rest.outputDescriptor = &output;
    rest.declaredSize = request_.declaredSize > deliveredBefore ? request_.declaredSize - deliveredBefore : 0;
    StreamBuffers buffers = buffers_;
    buffers.in = from;
    buffers.inAvailable = static_cast<uint32_t>(count);
    return decode_stream(bzip2_step, stream_, rest, buffers, status_);
}

}  // namespace

bool worth_decoding_in_blocks(const DecodeRequest& request)
{
    return request.declaredSize >= kBlocksFrom && request.whole.outputRoom == UINT64_MAX && !request.unusedInput;
}

DecodeEnd decode_bzip2_blocks(bz_stream* stream, const DecodeRequest& request, StreamBuffers buffers, int* status)
{
    // This thread reads, finds blocks and delivers; its own processor goes to a helper.
    const uint32_t idle = take_idle_processors(kMaxHelpers - 1);
    if (idle == 0)
        return decode_stream(bzip2_step, stream, request, buffers, status);
    DecodeEnd end;
    {
        BlockDecoder decoder(stream, request, buffers, status);
        end = decoder.run(idle + 1);
    }
    return_processors(idle);
    return end;
}
