// The Deflate64 decoder. A careful loop reads the stream one byte at a time exactly as needed
// (so it never asks for input beyond the end of the stream); while at least 16 bytes of the
// current input buffer remain, a fast loop with a 64-bit bit buffer decodes literals and matches
// without per-bit checks and gives back the whole bytes it read ahead when it stops.
#include "codec/deflate64.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr uint32_t kWindowSize = kDeflate64WindowSize;
constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxSymbols = 288;

// Entry ops.
constexpr uint8_t kOpLiteral = 0;
constexpr uint8_t kOpEndOfBlock = 96;
constexpr uint8_t kOpInvalid = 64;
constexpr uint8_t kOpBase = 128;

// Length symbols 257..287: base and op (128 + extra bits); 286 and 287 are invalid.
constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19, 23, 27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3,  0,  0};
constexpr uint8_t kLengthOp[31] = {128, 128, 128, 128, 128, 128, 128, 128, 129, 129, 129,
                                   129, 130, 130, 130, 130, 131, 131, 131, 131, 132, 132,
                                   132, 132, 133, 133, 133, 133, 144, 203, 77};
// Distance symbols 0..31: base and op (128 + extra bits).
constexpr uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceOp[32] = {128, 128, 128, 128, 129, 129, 130, 130, 131, 131, 132,
                                     132, 133, 133, 134, 134, 135, 135, 136, 136, 137, 137,
                                     138, 138, 139, 139, 140, 140, 141, 141, 142, 142};
// Order in which the code length code lengths are stored.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr DecodeEntry entry_for(CodeType type, uint32_t symbol)
{
    DecodeEntry e{};
    if (type == CodeType::codeLengths || (type == CodeType::lengths && symbol < 256)) {
        e.op = kOpLiteral;
        e.val = static_cast<uint16_t>(symbol);
    } else if (type == CodeType::lengths && symbol == 256) {
        e.op = kOpEndOfBlock;
    } else if (type == CodeType::lengths) {
        e.op = kLengthOp[symbol - 257];
        e.val = kLengthBase[symbol - 257];
    } else {
        e.op = kDistanceOp[symbol];
        e.val = kDistanceBase[symbol];
    }
    return e;
}

constexpr uint32_t reverse_bits(uint32_t code, uint32_t length)
{
    uint32_t reversed = 0;
    for (uint32_t i = 0; i < length; ++i) {
        reversed = (reversed << 1) | (code & 1);
        code >>= 1;
    }
    return reversed;
}

// The table builder; constexpr so that the fixed tables are made by the same rule at compile time.
// Codes are read least significant bit first, so a table is indexed by the bit-reversed code.
constexpr int make_code_table(CodeType type, const uint16_t* lens, uint32_t count, DecodeEntry** table,
                              uint32_t* bits, uint16_t* work)
{
    if (count > (type == CodeType::codeLengths ? 19u : type == CodeType::distances ? 32u : kMaxSymbols))
        return -1;
    uint32_t lengthCount[kMaxCodeBits + 1] = {};
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
        if (lens[symbol] > kMaxCodeBits)
            return -1;
        ++lengthCount[lens[symbol]];
    }
    uint32_t max = kMaxCodeBits;
    while (max >= 1 && lengthCount[max] == 0)
        --max;
    DecodeEntry* const base = *table;
    if (max == 0) {
        if (type != CodeType::distances)
            return -1;
        // A distance code without any code: the block holds literals only. Any distance read
        // from it is an invalid code.
        base[0] = DecodeEntry{kOpInvalid, 1, 0};
        base[1] = DecodeEntry{kOpInvalid, 1, 0};
        *table = base + 2;
        *bits = 1;
        return 0;
    }
    uint32_t min = 1;
    while (min < max && lengthCount[min] == 0)
        ++min;
    uint32_t root = *bits;
    if (root > max)
        root = max;
    if (root < min)
        root = min;

    // Free codes left at each length: negative is over-subscribed, positive at the end is an
    // incomplete code, allowed only as the single one-bit code of a literal/length or distance set.
    int32_t left = 1;
    for (uint32_t length = 1; length <= kMaxCodeBits; ++length) {
        left <<= 1;
        left -= static_cast<int32_t>(lengthCount[length]);
        if (left < 0)
            return -1;
    }
    if (left > 0 && (type == CodeType::codeLengths || max != 1))
        return -1;

    // Symbols sorted by code length, by value within one length.
    uint32_t offset[kMaxCodeBits + 2] = {};
    for (uint32_t length = 1; length <= kMaxCodeBits; ++length)
        offset[length + 1] = offset[length] + lengthCount[length];
    for (uint32_t symbol = 0; symbol < count; ++symbol)
        if (lens[symbol] != 0)
            work[offset[lens[symbol]]++] = static_cast<uint16_t>(symbol);

    const uint32_t room = type == CodeType::lengths     ? kLengthTableRoom
                          : type == CodeType::distances ? kDistanceTableRoom
                                                        : kLengthTableRoom + kDistanceTableRoom;
    const uint32_t rootSize = 1u << root;
    uint32_t used = rootSize;
    if (used > room)
        return 1;
    if (left > 0)
        for (uint32_t i = 0; i < rootSize; ++i)
            base[i] = DecodeEntry{kOpInvalid, static_cast<uint8_t>(root), 0};

    uint32_t remaining[kMaxCodeBits + 1] = {};
    for (uint32_t length = 0; length <= kMaxCodeBits; ++length)
        remaining[length] = lengthCount[length];
    uint32_t code = 0;  // canonical code, most significant bit first
    uint32_t sorted = 0;
    uint32_t prefix = rootSize;  // root slot of the second-level table being filled (none yet)
    DecodeEntry* sub = base;
    uint32_t subBits = 0;
    for (uint32_t length = 1; length <= max; ++length, code <<= 1) {
        for (uint32_t n = 0; n < lengthCount[length]; ++n, ++code) {
            DecodeEntry e = entry_for(type, work[sorted++]);
            const uint32_t reversed = reverse_bits(code, length);
            if (length <= root) {
                e.bits = static_cast<uint8_t>(length);
                for (uint32_t slot = reversed; slot < rootSize; slot += 1u << length)
                    base[slot] = e;
            } else {
                if ((reversed & (rootSize - 1)) != prefix) {
                    // A new root prefix: its table needs as many index bits as it takes for the
                    // codes that follow to fill it.
                    prefix = reversed & (rootSize - 1);
                    subBits = length - root;
                    int32_t free = 1 << subBits;
                    while (subBits + root < max) {
                        free -= static_cast<int32_t>(remaining[subBits + root]);
                        if (free <= 0)
                            break;
                        ++subBits;
                        free <<= 1;
                    }
                    sub = base + used;
                    used += 1u << subBits;
                    if (used > room)
                        return 1;
                    base[prefix] = DecodeEntry{static_cast<uint8_t>(subBits), static_cast<uint8_t>(root),
                                               static_cast<uint16_t>(sub - base)};
                }
                e.bits = static_cast<uint8_t>(length - root);
                for (uint32_t slot = reversed >> root; slot < (1u << subBits); slot += 1u << (length - root))
                    sub[slot] = e;
            }
            --remaining[length];
        }
    }
    *table = base + used;
    *bits = root;
    return 0;
}

struct FixedTables {
    DecodeEntry lengths[512];
    DecodeEntry distances[32];
};

constexpr FixedTables make_fixed_tables()
{
    FixedTables tables{};
    uint16_t lens[kMaxSymbols] = {};
    uint16_t work[kMaxSymbols] = {};
    for (uint32_t symbol = 0; symbol < kMaxSymbols; ++symbol)
        lens[symbol] = symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
    DecodeEntry* next = tables.lengths;
    uint32_t bits = 9;
    make_code_table(CodeType::lengths, lens, kMaxSymbols, &next, &bits, work);
    for (uint32_t symbol = 0; symbol < 32; ++symbol)
        lens[symbol] = 5;
    next = tables.distances;
    bits = 5;
    make_code_table(CodeType::distances, lens, 32, &next, &bits, work);
    return tables;
}

constexpr FixedTables kFixed = make_fixed_tables();
// Fixed symbol 285 has the code 11000101, read as 10100011; 286 and 287 follow.
static_assert(kFixed.lengths[0xA3].op == 144 && kFixed.lengths[0xA3].bits == 8 && kFixed.lengths[0xA3].val == 3 &&
                  kFixed.lengths[0x1A3].op == 144,
              "fixed symbol 285 is length 3 with 16 extra bits");
static_assert(kFixed.lengths[0x63].op == 203 && kFixed.lengths[0xE3].op == 77, "fixed symbols 286 and 287 are invalid");

voidpf default_alloc(voidpf, uInt items, uInt size)
{
    return malloc(static_cast<size_t>(items) * size);
}

void default_free(voidpf, voidpf address)
{
    free(address);
}

inline uint64_t load_le64(const uint8_t* p)
{
    uint64_t v;
    memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

inline uint64_t low_bits(uint32_t n)
{
    return (uint64_t{1} << n) - 1;
}

// Copies n bytes forward from src to dst (src < dst) as a byte-by-byte loop would: an overlap
// repeats the bytes. Writes nothing beyond dst + n.
void copy_forward(uint8_t* dst, const uint8_t* src, uint32_t n)
{
    uint32_t distance = static_cast<uint32_t>(dst - src);
    if (distance >= n) {
        memcpy(dst, src, n);
        return;
    }
    // [src, dst) repeats with period distance; each copy doubles the repeated span.
    while (n > 0) {
        const uint32_t k = distance < n ? distance : n;
        memcpy(dst, src, k);
        dst += k;
        n -= k;
        distance += k;
    }
}

// Smallest multiple of d (2..7) that is at least 8.
constexpr uint8_t kPeriodStride[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// Copies len bytes from distance back within the window, writing up to 15 bytes past the end
// of the copy and restoring them: they may be older output that is still to be referred to.
// Needs distance <= the offset of dst and 16 bytes of window behind dst + len.
inline void copy_match_fast(uint8_t* dst, uint32_t distance, uint32_t len)
{
    const uint8_t* src = dst - distance;
    uint8_t* const end = dst + len;
    uint8_t saved[16];
    memcpy(saved, end, 16);
    if (distance >= 16) {
        do {
            memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < end);
    } else if (distance >= 8) {
        do {
            memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < end);
    } else if (distance == 1) {
        const uint64_t pattern = src[0] * 0x0101010101010101ull;
        do {
            memcpy(dst, &pattern, 8);
            dst += 8;
        } while (dst < end);
    } else {
        // Period 2..7: lay the first bytes one by one, then copy 8 at a time from a multiple of
        // the period back, which is at least 8 bytes behind.
        const uint32_t stride = kPeriodStride[distance];
        uint8_t* const lead = dst + (stride - distance);
        while (dst < lead) {
            *dst = *(dst - distance);
            ++dst;
        }
        while (dst < end) {
            uint64_t chunk;
            memcpy(&chunk, dst - stride, 8);
            memcpy(dst, &chunk, 8);
            dst += 8;
        }
    }
    memcpy(end, saved, 16);
}

// Copies len bytes from src to dst, src at least len + 16 bytes ahead of dst and 16 bytes of
// window behind both copies, in 16-byte pieces; restores the 16 bytes after dst + len.
inline void copy_ahead_fast(uint8_t* dst, const uint8_t* src, uint32_t len)
{
    uint8_t* const end = dst + len;
    uint8_t saved[16];
    memcpy(saved, end, 16);
    do {
        memcpy(dst, src, 16);
        dst += 16;
        src += 16;
    } while (dst < end);
    memcpy(end, saved, 16);
}

const char kMsgBlockType[] = "invalid block type";
const char kMsgStoredLengths[] = "invalid stored block lengths";
const char kMsgTooManyLengths[] = "too many length symbols";
const char kMsgCodeLengthsSet[] = "invalid code lengths set";
const char kMsgRepeat[] = "invalid bit length repeat";
const char kMsgNoEndOfBlock[] = "invalid code -- missing end-of-block";
const char kMsgLengthsSet[] = "invalid literal/lengths set";
const char kMsgDistancesSet[] = "invalid distances set";
const char kMsgLengthCode[] = "invalid literal/length code";
const char kMsgDistanceCode[] = "invalid distance code";
const char kMsgTooFarBack[] = "invalid distance too far back";

// Outcome of a step that may stop the stream.
enum class Step { go, endOfBlock, dataError, inputEnded, outputFailed };

struct Decoder {
    Deflate64Stream* state;
    InputFunction in;
    void* inDescriptor;
    OutputFunction out;
    void* outDescriptor;
    const uint8_t* next;  // current input bytes
    const uint8_t* end;
    uint64_t hold;        // bit buffer, least significant bit first; nothing above `bits` is set
    uint32_t bits;
    uint8_t* window;
    uint32_t wpos;        // bytes in the window since its last delivery
    bool flushed;         // the window has been delivered at least once
    bool inputEnded;      // the input function returned no more bytes
    const char* msg;

    bool more_input()
    {
        uint8_t* bytes = nullptr;
        const uint32_t n = in(inDescriptor, &bytes);
        if (n == 0 || bytes == nullptr) {
            inputEnded = true;
            return false;
        }
        next = bytes;
        end = bytes + n;
        return true;
    }

    // Takes one more byte into the bit buffer, asking the input function when the buffer is used up.
    bool pull_byte()
    {
        if (next == end && !more_input())
            return false;
        hold |= static_cast<uint64_t>(*next++) << bits;
        bits += 8;
        return true;
    }

    bool need_bits(uint32_t n)
    {
        while (bits < n)
            if (!pull_byte())
                return false;
        return true;
    }

    uint32_t take_bits(uint32_t n)
    {
        const uint32_t v = static_cast<uint32_t>(hold & low_bits(n));
        hold >>= n;
        bits -= n;
        return v;
    }

    // Reads one symbol's entry from a table with root index width rootBits, pulling only the
    // bytes the code needs, and drops its bits.
    bool decode(const DecodeEntry* table, uint32_t rootBits, DecodeEntry& e)
    {
        for (;;) {
            e = table[hold & low_bits(rootBits)];
            if (e.bits <= bits)
                break;
            if (!pull_byte())
                return false;
        }
        if (e.op != kOpLiteral && e.op < 16) {
            const DecodeEntry link = e;
            for (;;) {
                e = table[link.val + ((hold >> link.bits) & low_bits(link.op))];
                if (link.bits + e.bits <= bits)
                    break;
                if (!pull_byte())
                    return false;
            }
            hold >>= link.bits;
            bits -= link.bits;
        }
        hold >>= e.bits;
        bits -= e.bits;
        return true;
    }

    bool flush_window()
    {
        if (out(outDescriptor, window, kWindowSize) != 0)
            return false;
        wpos = 0;
        flushed = true;
        return true;
    }

    // Copies len bytes from distance back through the circular window, delivering it whenever
    // a byte is due to be written into a full window.
    bool copy_match(uint32_t distance, uint32_t len)
    {
        while (len > 0) {
            if (wpos == kWindowSize && !flush_window())
                return false;
            const uint32_t src = (wpos - distance) & (kWindowSize - 1);
            uint32_t n = kWindowSize - wpos;
            if (n > len)
                n = len;
            if (src >= wpos) {
                // The source lies ahead in the window (older output): up to the window's end,
                // read before it is overwritten.
                if (n > kWindowSize - src)
                    n = kWindowSize - src;
                memmove(window + wpos, window + src, n);
            } else {
                copy_forward(window + wpos, window + src, n);
            }
            wpos += n;
            len -= n;
        }
        return true;
    }

    Step stored_block();
    Step read_tables();
    Step codes(const DecodeEntry* lengthTable, uint32_t lengthBits, const DecodeEntry* distanceTable,
               uint32_t distanceBits);
    Step codes_fast(const DecodeEntry* lengthTable, uint32_t lengthBits, const DecodeEntry* distanceTable,
                    uint32_t distanceBits);
    int run();
};

Step Decoder::stored_block()
{
    take_bits(bits & 7);
    if (!need_bits(32))
        return Step::inputEnded;
    const uint32_t len = take_bits(16);
    if (take_bits(16) != (~len & 0xFFFF)) {
        msg = kMsgStoredLengths;
        return Step::dataError;
    }
    // The careful reads leave fewer than 8 bits behind, so the buffer is empty here and the
    // block's bytes come straight from the input.
    uint32_t left = len;
    while (left > 0) {
        if (next == end && !more_input())
            return Step::inputEnded;
        if (wpos == kWindowSize && !flush_window())
            return Step::outputFailed;
        uint32_t n = left;
        if (n > static_cast<uint32_t>(end - next))
            n = static_cast<uint32_t>(end - next);
        if (n > kWindowSize - wpos)
            n = kWindowSize - wpos;
        memcpy(window + wpos, next, n);
        next += n;
        wpos += n;
        left -= n;
    }
    return Step::go;
}

Step Decoder::read_tables()
{
    Deflate64Stream* const s = state;
    if (!need_bits(14))
        return Step::inputEnded;
    s->nlen = take_bits(5) + 257;
    s->ndist = take_bits(5) + 1;
    s->ncode = take_bits(4) + 4;
    if (s->nlen > 286) {
        msg = kMsgTooManyLengths;
        return Step::dataError;
    }
    for (s->have = 0; s->have < s->ncode; ++s->have) {
        if (!need_bits(3))
            return Step::inputEnded;
        s->lens[kCodeLengthOrder[s->have]] = static_cast<uint16_t>(take_bits(3));
    }
    for (; s->have < 19; ++s->have)
        s->lens[kCodeLengthOrder[s->have]] = 0;
    s->next = s->codes;
    uint32_t codeBits = 7;
    if (make_code_table(CodeType::codeLengths, s->lens, 19, &s->next, &codeBits, s->work) != 0) {
        msg = kMsgCodeLengthsSet;
        return Step::dataError;
    }

    const uint32_t total = s->nlen + s->ndist;
    for (s->have = 0; s->have < total;) {
        DecodeEntry e;
        if (!decode(s->codes, codeBits, e))
            return Step::inputEnded;
        if (e.val < 16) {
            s->lens[s->have++] = e.val;
            continue;
        }
        uint32_t repeat, value = 0;
        if (e.val == 16) {
            if (!need_bits(2))
                return Step::inputEnded;
            repeat = 3 + take_bits(2);
            if (s->have == 0) {
                msg = kMsgRepeat;
                return Step::dataError;
            }
            value = s->lens[s->have - 1];
        } else if (e.val == 17) {
            if (!need_bits(3))
                return Step::inputEnded;
            repeat = 3 + take_bits(3);
        } else {
            if (!need_bits(7))
                return Step::inputEnded;
            repeat = 11 + take_bits(7);
        }
        if (s->have + repeat > total) {
            msg = kMsgRepeat;
            return Step::dataError;
        }
        while (repeat-- > 0)
            s->lens[s->have++] = static_cast<uint16_t>(value);
    }
    if (s->lens[256] == 0) {
        msg = kMsgNoEndOfBlock;
        return Step::dataError;
    }
    s->next = s->codes;
    uint32_t lengthBits = 9;
    if (make_code_table(CodeType::lengths, s->lens, s->nlen, &s->next, &lengthBits, s->work) != 0) {
        msg = kMsgLengthsSet;
        return Step::dataError;
    }
    DecodeEntry* const distanceTable = s->next;
    uint32_t distanceBits = 6;
    if (make_code_table(CodeType::distances, s->lens + s->nlen, s->ndist, &s->next, &distanceBits, s->work) != 0) {
        msg = kMsgDistancesSet;
        return Step::dataError;
    }
    return codes(s->codes, lengthBits, distanceTable, distanceBits);
}

// The fast loop: runs while at least 16 input bytes remain in the current buffer (two refills
// of 8 bytes per symbol at most) and the window has room for a literal. Matches that would pass
// the window's end, or reach back across its start, go through copy_match.
Step Decoder::codes_fast(const DecodeEntry* lengthTable, uint32_t lengthBits, const DecodeEntry* distanceTable,
                         uint32_t distanceBits)
{
    const uint8_t* in = next;
    const uint8_t* const inLimit = end - 15;
    uint64_t buf = hold;
    uint32_t have = bits;
    uint8_t* const win = window;
    uint32_t pos = wpos;
    const uint64_t lengthMask = low_bits(lengthBits);
    const uint64_t distanceMask = low_bits(distanceBits);
    Step step = Step::go;

// Tops the buffer up to 56..63 bits from 8 bytes at `in`. Bits above `have` may already hold
// the same input bits from the last refill, so OR-ing them in again changes nothing.
#define D64_REFILL()                                   \
    do {                                               \
        buf |= load_le64(in) << have;                  \
        in += (63 - have) >> 3;                        \
        have |= 56;                                    \
    } while (0)

    while (in < inLimit && pos < kWindowSize) {
        D64_REFILL();
        DecodeEntry e = lengthTable[buf & lengthMask];
        if (e.op == kOpLiteral) {
            buf >>= e.bits;
            have -= e.bits;
            win[pos++] = static_cast<uint8_t>(e.val);
            continue;
        }
        if (e.op < 16) {
            buf >>= e.bits;
            have -= e.bits;
            e = lengthTable[e.val + (buf & low_bits(e.op))];
        }
        buf >>= e.bits;
        have -= e.bits;
        if (e.op == kOpLiteral) {
            win[pos++] = static_cast<uint8_t>(e.val);
            continue;
        }
        if ((e.op & 0xC0) != kOpBase) {
            if (e.op & 32) {
                step = Step::endOfBlock;
            } else {
                msg = kMsgLengthCode;
                step = Step::dataError;
            }
            break;
        }
        uint32_t extra = e.op & 31;
        const uint32_t len = e.val + static_cast<uint32_t>(buf & low_bits(extra));
        buf >>= extra;
        have -= extra;
        if (have < 29)
            D64_REFILL();
        e = distanceTable[buf & distanceMask];
        if (e.op < 16) {
            buf >>= e.bits;
            have -= e.bits;
            e = distanceTable[e.val + (buf & low_bits(e.op))];
        }
        buf >>= e.bits;
        have -= e.bits;
        if (e.op & 64) {
            msg = kMsgDistanceCode;
            step = Step::dataError;
            break;
        }
        extra = e.op & 15;
        const uint32_t distance = e.val + static_cast<uint32_t>(buf & low_bits(extra));
        buf >>= extra;
        have -= extra;
        if (len + 16 <= kWindowSize - pos) {
            if (distance <= pos) {
                copy_match_fast(win + pos, distance, len);
                pos += len;
                continue;
            }
            // Reaching back across the window's start: the source is older output ahead of
            // pos. When it neither crosses the window's end nor meets the copy, copy it whole.
            if (flushed && distance >= pos + len + 16 && distance <= kWindowSize - len - 16) {
                copy_ahead_fast(win + pos, win + pos + (kWindowSize - distance), len);
                pos += len;
                continue;
            }
        }
        if (!flushed && distance > pos) {
            msg = kMsgTooFarBack;
            step = Step::dataError;
            break;
        }
        wpos = pos;
        if (!copy_match(distance, len)) {
            step = Step::outputFailed;
            break;
        }
        pos = wpos;
    }
#undef D64_REFILL

    // Give back the whole bytes read ahead; they all came from the current buffer, since the
    // buffer held fewer than 8 bits on entry.
    in -= have >> 3;
    have &= 7;
    next = in;
    hold = buf & low_bits(have);
    bits = have;
    wpos = pos;
    return step;
}

Step Decoder::codes(const DecodeEntry* lengthTable, uint32_t lengthBits, const DecodeEntry* distanceTable,
                    uint32_t distanceBits)
{
    for (;;) {
        if (end - next >= 16 && wpos < kWindowSize) {
            const Step step = codes_fast(lengthTable, lengthBits, distanceTable, distanceBits);
            if (step != Step::go)
                return step;
        }
        DecodeEntry e;
        if (!decode(lengthTable, lengthBits, e))
            return Step::inputEnded;
        if (e.op == kOpLiteral) {
            if (wpos == kWindowSize && !flush_window())
                return Step::outputFailed;
            window[wpos++] = static_cast<uint8_t>(e.val);
            continue;
        }
        if (e.op & 32)
            return Step::endOfBlock;
        if (e.op & 64) {
            msg = kMsgLengthCode;
            return Step::dataError;
        }
        uint32_t extra = e.op & 31;
        if (!need_bits(extra))
            return Step::inputEnded;
        const uint32_t len = e.val + take_bits(extra);
        if (!decode(distanceTable, distanceBits, e))
            return Step::inputEnded;
        if (e.op & 64) {
            msg = kMsgDistanceCode;
            return Step::dataError;
        }
        extra = e.op & 15;
        if (!need_bits(extra))
            return Step::inputEnded;
        const uint32_t distance = e.val + take_bits(extra);
        if (flushed ? distance > kWindowSize : distance > wpos) {
            msg = kMsgTooFarBack;
            return Step::dataError;
        }
        if (!copy_match(distance, len))
            return Step::outputFailed;
    }
}

int Decoder::run()
{
    bool last = false;
    while (!last) {
        if (!need_bits(3))
            return kDeflate64BufferError;
        last = take_bits(1) != 0;
        Step step;
        switch (take_bits(2)) {
        case 0:
            step = stored_block();
            break;
        case 1:
            step = codes(kFixed.lengths, 9, kFixed.distances, 5);
            break;
        case 2:
            step = read_tables();
            break;
        default:
            msg = kMsgBlockType;
            step = Step::dataError;
            break;
        }
        switch (step) {
        case Step::go:
        case Step::endOfBlock:
            break;
        case Step::dataError:
            return kDeflate64DataError;
        case Step::inputEnded:
        case Step::outputFailed:
            return kDeflate64BufferError;
        }
    }
    if (wpos > 0 && out(outDescriptor, window, wpos) != 0)
        return kDeflate64BufferError;
    return kDeflate64StreamEnd;
}

}  // namespace

int build_code_table(CodeType type, const uint16_t* lens, uint32_t count, DecodeEntry** table, uint32_t* bits,
                     uint16_t* work)
{
    return make_code_table(type, lens, count, table, bits, work);
}

int deflate64_init(z_stream* stream, uint8_t* window, const char* version, int32_t streamSize)
{
    if (version == nullptr || version[0] != '1' || streamSize != static_cast<int32_t>(sizeof(z_stream)))
        return kDeflate64VersionError;
    if (stream == nullptr || window == nullptr)
        return kDeflate64StreamError;
    stream->msg = nullptr;
    if (stream->zalloc == nullptr) {
        stream->zalloc = default_alloc;
        stream->opaque = nullptr;
    }
    if (stream->zfree == nullptr)
        stream->zfree = default_free;
    auto* state = static_cast<Deflate64Stream*>(stream->zalloc(stream->opaque, 1, sizeof(Deflate64Stream)));
    if (state == nullptr)
        return kDeflate64MemoryError;
    state->window = window;
    stream->state = reinterpret_cast<internal_state*>(state);
    return kDeflate64Ok;
}

int deflate64_decode(z_stream* stream, InputFunction in, void* inDescriptor, OutputFunction out,
                     void* outDescriptor)
{
    if (stream == nullptr || stream->state == nullptr || in == nullptr || out == nullptr)
        return kDeflate64StreamError;
    stream->msg = nullptr;
    Decoder d{};
    d.state = reinterpret_cast<Deflate64Stream*>(stream->state);
    d.in = in;
    d.inDescriptor = inDescriptor;
    d.out = out;
    d.outDescriptor = outDescriptor;
    d.next = stream->next_in;
    d.end = stream->next_in != nullptr ? stream->next_in + stream->avail_in : nullptr;
    d.window = d.state->window;
    const int result = d.run();
    if (d.inputEnded) {
        stream->next_in = nullptr;
        stream->avail_in = 0;
    } else {
        stream->next_in = const_cast<Bytef*>(d.next);
        stream->avail_in = static_cast<uInt>(d.end - d.next);
    }
    if (d.msg != nullptr)
        stream->msg = const_cast<char*>(d.msg);
    return result;
}

int deflate64_end(z_stream* stream)
{
    if (stream == nullptr || stream->state == nullptr || stream->zfree == nullptr)
        return kDeflate64StreamError;
    stream->zfree(stream->opaque, stream->state);
    stream->state = nullptr;
    return kDeflate64Ok;
}

namespace {

int start_deflate64(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    z_stream* stream = decoder_record<z_stream>(state);
    memset(stream, 0, sizeof *stream);
    if (bufferSize < kDeflate64WindowSize)
        return kDeflate64StreamError;
    return deflate64_init(stream, buffer, "1.3.1", static_cast<int32_t>(sizeof(z_stream)));
}

DecodeEnd decode_deflate64(DecoderState* state, const DecodeRequest& request, int* status)
{
    z_stream* stream = decoder_record<z_stream>(state);
    // An entry without compressed bytes has nothing to decode.
    uint8_t* first = nullptr;
    const uint32_t count = request.input(request.inputDescriptor, &first);
    if (count == 0)
        return DecodeEnd::complete;
    stream->next_in = first;
    stream->avail_in = count;
    *status = deflate64_decode(stream, request.input, request.inputDescriptor, request.output, request.outputDescriptor);
    switch (*status) {
    case kDeflate64StreamEnd:
        if (request.unusedInput)
            *request.unusedInput = stream->avail_in;
        return DecodeEnd::complete;
    case kDeflate64BufferError:
        return DecodeEnd::truncated;
    case kDeflate64DataError:
        return DecodeEnd::invalidData;
    default:
        return DecodeEnd::failed;
    }
}

void end_deflate64(DecoderState* state) { deflate64_end(decoder_record<z_stream>(state)); }

}  // namespace

extern const EntryDecoder kDeflate64Decoder = {9, start_deflate64, decode_deflate64, end_deflate64};
