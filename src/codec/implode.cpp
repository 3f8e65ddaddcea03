// Implode entries (method 6). General-purpose flag 2 chooses an 8 KiB sliding dictionary over a
// 4 KiB one, flag 4 three Shannon-Fano trees (literals, lengths, distances) over two (lengths,
// distances; literals then come as plain bytes and matches are at least 2 long instead of 3).
// The trees lead the stream, each as a byte count - 1 and that many bytes of (values - 1,
// length - 1) in nibbles. Then a 1 bit is followed by a literal; a 0 bit by the distance's low 6
// (4 KiB) or 7 (8 KiB) bits, its high 6 bits from the distance tree, and the length from the
// length tree (+ 8 bits when it is 63) + the minimum; the match starts distance + 1 back.
#include "codec/legacy_stream.h"

namespace {

constexpr uint16_t kFlagLargeDictionary = 0x0002;
constexpr uint16_t kFlagLiteralTree = 0x0004;
constexpr uint32_t kMaxCodeBits = 16;
constexpr uint32_t kReach = 8192;

// A Shannon-Fano tree. Its codes are given by the lengths alone: the values sorted by length (by
// value within one length) get consecutive codes from the last one, which is all zeros, upwards,
// each code length bits taken most significant first, and the stream stores them reversed. So a
// tree decodes like a canonical code read one bit at a time, but within one length the last
// value has the lowest code.
struct ShannonFanoTree {
    uint16_t counts[kMaxCodeBits + 1];  // values of each length
    uint16_t starts[kMaxCodeBits + 1];  // the lowest code of each length
    uint16_t ends[kMaxCodeBits + 1];    // where the values of each length end in sorted
    uint8_t sorted[256];                // values by length, by value within one length
};

struct ImplodeTables {
    ShannonFanoTree literals, lengths, distances;
};

int start_implode(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    return start_legacy(state, buffer, bufferSize, sizeof(ImplodeTables), kReach);
}

// Reads a tree of size values; false when its lengths do not make a complete code (every
// sequence of bits the start of exactly one code), which also keeps each code's value in
// range, or when the input ran out.
bool read_tree(BitReader* in, uint32_t size, ShannonFanoTree* tree)
{
    uint8_t lengths[256];
    uint32_t values = 0;
    for (uint32_t bytes = in->take(8) + 1; bytes > 0; --bytes) {
        const uint32_t pair = in->take(8);
        const uint32_t count = (pair >> 4) + 1;
        if (count > size - values)
            return false;
        for (uint32_t i = 0; i < count; ++i)
            lengths[values++] = static_cast<uint8_t>((pair & 15) + 1);
    }
    if (values != size || in->ended)
        return false;
    for (uint16_t& count : tree->counts)
        count = 0;
    for (uint32_t value = 0; value < size; ++value)
        ++tree->counts[lengths[value]];
    // The longest codes come first from zero; the code space of 2^16 must be filled exactly.
    uint32_t space = 0;
    for (uint32_t length = kMaxCodeBits; length >= 1; --length) {
        tree->starts[length] = static_cast<uint16_t>(space >> (kMaxCodeBits - length));
        space += static_cast<uint32_t>(tree->counts[length]) << (kMaxCodeBits - length);
    }
    if (space != 1u << kMaxCodeBits)
        return false;
    uint32_t end = 0;
    for (uint32_t length = 1; length <= kMaxCodeBits; ++length) {
        end += tree->counts[length];
        tree->ends[length] = static_cast<uint16_t>(end);
    }
    uint16_t next[kMaxCodeBits + 1];
    for (uint32_t length = 1; length <= kMaxCodeBits; ++length)
        next[length] = static_cast<uint16_t>(tree->ends[length] - tree->counts[length]);
    for (uint32_t value = 0; value < size; ++value)
        tree->sorted[next[lengths[value]]++] = static_cast<uint8_t>(value);
    return true;
}

// The next value of the tree; any value when the input ran out.
uint32_t read_value(BitReader* in, const ShannonFanoTree& tree)
{
    uint32_t code = 0;
    for (uint32_t length = 1; length <= kMaxCodeBits; ++length) {
        code = code << 1 | in->take(1);
        // The codes of one length follow those of the longer ones (whose first bits lie below).
        const uint32_t offset = code - tree.starts[length];
        if (offset < tree.counts[length])
            return tree.sorted[tree.ends[length] - 1 - offset];
    }
    return 0;  // a complete code ends within 16 bits; only a reader past the input gets here
}

DecodeEnd decode_implode(DecoderState* state, const DecodeRequest& request, int* status)
{
    ImplodeTables& tables = *legacy_tables<ImplodeTables>(state);
    BitReader in;
    OutputWindow out;
    open_legacy_stream(state, request, kReach, &in, &out);
    if (out.remaining == 0)
        return DecodeEnd::complete;
    const bool literalTree = (request.flags & kFlagLiteralTree) != 0;
    const uint32_t lowBits = (request.flags & kFlagLargeDictionary) ? 7 : 6;
    const uint32_t minimum = literalTree ? 3 : 2;
    if ((literalTree && !read_tree(&in, 256, &tables.literals)) || !read_tree(&in, 64, &tables.lengths) ||
        !read_tree(&in, 64, &tables.distances))
        return in.ended ? legacy_end(in, &out, status) : legacy_data_error(status);
    while (out.remaining > 0) {
        if (in.take(1) != 0) {
            const uint32_t literal = literalTree ? read_value(&in, tables.literals) : in.take(8);
            if (in.ended || !out.put(static_cast<uint8_t>(literal)))
                break;
            continue;
        }
        uint32_t distance = in.take(lowBits);
        distance |= read_value(&in, tables.distances) << lowBits;
        uint32_t length = read_value(&in, tables.lengths);
        if (length == 63)
            length += in.take(8);
        if (in.ended || !out.copy(distance + 1, length + minimum))
            break;
    }
    return legacy_end(in, &out, status);
}

}  // namespace

extern const EntryDecoder kImplodeDecoder = {6, start_implode, decode_implode, end_legacy, false};
