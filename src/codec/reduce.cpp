// Reduce entries (methods 2 to 5, compression factors 1 to 4). Two stages: the stream begins with
// 256 follower sets, from byte 255's down to byte 0's, each a 6-bit count (at most 32) and that
// many bytes; then each byte of the first stage comes either literally (8 bits, or a 1 bit and 8
// bits after a byte that has followers) or as a 0 bit and the index of one of the previous
// byte's followers. The second stage expands those bytes: 144 (DLE) starts a match, DLE 0 is a
// literal 144, and DLE V [L] D copies the length in V's low 8 - factor bits (+ L when they are
// all set) + 3 bytes from V's high bits * 256 + D + 1 back.
#include "codec/legacy_stream.h"

namespace {

constexpr uint32_t kMaxFollowers = 32;
constexpr uint8_t kDle = 144;
constexpr uint32_t kReach = 16 * 256;  // the farthest a match of factor 4 reaches back

struct ReduceTables {
    uint8_t followers[256][kMaxFollowers];
    uint8_t counts[256];
};

// The bits of a follower's index: enough for count - 1, at least one.
constexpr uint8_t index_bits(uint32_t count)
{
    uint8_t bits = 1;
    while ((1u << bits) < count)
        ++bits;
    return bits;
}

int start_reduce(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    return start_legacy(state, buffer, bufferSize, sizeof(ReduceTables), kReach);
}

// The second stage: what the byte from the first stage does, given what came before it.
struct Expansion {
    enum Step : uint8_t { plain, afterDle, lengthByte, distanceByte } step;
    uint32_t lengthBits;  // 8 - factor
    uint32_t first;       // the byte after DLE
    uint32_t length;
};

bool expand(Expansion* x, uint8_t byte, OutputWindow* out)
{
    switch (x->step) {
    case Expansion::plain:
        if (byte == kDle) {
            x->step = Expansion::afterDle;
            return true;
        }
        return out->put(byte);
    case Expansion::afterDle:
        if (byte == 0) {
            x->step = Expansion::plain;
            return out->put(kDle);
        }
        x->first = byte;
        x->length = byte & ((1u << x->lengthBits) - 1);
        x->step = x->length == (1u << x->lengthBits) - 1 ? Expansion::lengthByte : Expansion::distanceByte;
        return true;
    case Expansion::lengthByte:
        x->length += byte;
        x->step = Expansion::distanceByte;
        return true;
    case Expansion::distanceByte:
        x->step = Expansion::plain;
        return out->copy((x->first >> x->lengthBits) * 256 + byte + 1, x->length + 3);
    }
    return false;
}

DecodeEnd decode_reduce(DecoderState* state, const DecodeRequest& request, uint32_t factor, int* status)
{
    ReduceTables& tables = *legacy_tables<ReduceTables>(state);
    BitReader in;
    OutputWindow out;
    open_legacy_stream(state, request, kReach, &in, &out);
    if (out.remaining == 0)
        return DecodeEnd::complete;
    for (int byte = 255; byte >= 0 && !in.ended; --byte) {
        const uint32_t count = in.take(6);
        if (count > kMaxFollowers)
            return legacy_data_error(status);
        tables.counts[byte] = static_cast<uint8_t>(count);
        for (uint32_t i = 0; i < count; ++i)
            tables.followers[byte][i] = static_cast<uint8_t>(in.take(8));
    }
    Expansion expansion = {Expansion::plain, 8 - factor, 0, 0};
    uint8_t last = 0;
    while (out.remaining > 0 && !in.ended) {
        const uint32_t count = tables.counts[last];
        uint32_t byte;
        if (count == 0 || in.take(1) != 0) {
            byte = in.take(8);
        } else {
            const uint32_t index = in.take(index_bits(count));
            if (index >= count)
                return legacy_data_error(status);
            byte = tables.followers[last][index];
        }
        if (in.ended)
            break;
        last = static_cast<uint8_t>(byte);
        if (!expand(&expansion, last, &out))
            break;
    }
    return legacy_end(in, &out, status);
}

template <uint32_t kFactor>
DecodeEnd decode_reduce_by(DecoderState* state, const DecodeRequest& request, int* status)
{
    return decode_reduce(state, request, kFactor, status);
}

}  // namespace

extern const EntryDecoder kReduce1Decoder = {2, start_reduce, decode_reduce_by<1>, end_legacy, false};
extern const EntryDecoder kReduce2Decoder = {3, start_reduce, decode_reduce_by<2>, end_legacy, false};
extern const EntryDecoder kReduce3Decoder = {4, start_reduce, decode_reduce_by<3>, end_legacy, false};
extern const EntryDecoder kReduce4Decoder = {5, start_reduce, decode_reduce_by<4>, end_legacy, false};
