// The Deflate64 decoder (ZIP method 9): raw Deflate with a 65536-byte window, length code 285
// standing for 3 + 16 extra bits and distance codes 30 and 31 with 14 extra bits.
//
// One call decodes a whole stream: compressed bytes are pulled through an input function,
// decoded bytes are pushed through an output function from the caller's window, in whole
// 65536-byte windows and a partly filled last one.
#pragma once
#include <stdint.h>
#include <zlib.h>

#include "codec/decoder.h"

constexpr uint32_t kDeflate64WindowSize = 65536;

// Result codes (zlib's values).
enum : int {
    kDeflate64Ok = 0,            // init and end
    kDeflate64StreamEnd = 1,     // decode: the stream ended and all output was delivered
    kDeflate64StreamError = -2,  // a null stream, state, window or function
    kDeflate64DataError = -3,    // invalid data; msg names the fault
    kDeflate64MemoryError = -4,  // the state could not be allocated
    kDeflate64BufferError = -5,  // input ran out before the end, or the output function failed
    kDeflate64VersionError = -6, // the caller's zlib version or record size does not match
};

// One entry of a decoding table. op: 0 literal (val the byte); 1 to 15 link to a second-level
// table of op index bits at val entries from the start of the root table; 96 end of block;
// 128 + e a length or distance base val with e extra bits; other values with bit 64 invalid.
struct DecodeEntry {
    uint8_t op;
    uint8_t bits;  // bits this entry consumes (beyond the root bits in a second-level table)
    uint16_t val;
};

// Room for the largest literal/length table (286 symbols, 9 root bits) followed by the largest
// distance table (32 symbols, 6 root bits) that a complete code of at most 15 bits can need.
constexpr uint32_t kLengthTableRoom = 852;
constexpr uint32_t kDistanceTableRoom = 594;

// The decoder state, allocated once by deflate64_init.
struct Deflate64Stream {
    uint8_t* window;        // the caller's 65536 bytes
    uint32_t ncode;         // code length codes of the current dynamic block (4..19)
    uint32_t nlen;          // literal/length codes (257..286)
    uint32_t ndist;         // distance codes (1..32)
    uint32_t have;          // code lengths read so far
    DecodeEntry* next;      // next free entry of codes
    uint16_t lens[320];     // code length code lengths, then literal/length and distance lengths
    uint16_t work[288];     // symbols sorted by code length (build_code_table's work area)
    DecodeEntry codes[kLengthTableRoom + kDistanceTableRoom];
};

enum class CodeType { codeLengths, lengths, distances };

// Builds the two-level decoding table of a canonical code from its code lengths at *table;
// *bits is the wanted root index width on entry and the one used on return, and *table is
// advanced past the table. Returns 0 when built, -1 for an unusable set of lengths (over-
// subscribed, or incomplete other than a single one-bit code; an empty distance code is allowed
// and decodes nothing), 1 when the table would not fit the room of its type.
int build_code_table(CodeType type, const uint16_t* lens, uint32_t count, DecodeEntry** table,
                     uint32_t* bits, uint16_t* work);

// Checks the caller's zlib version and record size, allocates the state through zalloc (zlib's
// defaults when null) and attaches the window (65536 bytes, valid until deflate64_end).
int deflate64_init(z_stream* stream, uint8_t* window, const char* version, int32_t streamSize);

// Decodes one whole stream, starting with the bytes at next_in/avail_in and then those of in.
// On return next_in/avail_in describe the input not consumed (null and 0 once in returned 0).
int deflate64_decode(z_stream* stream, InputFunction in, void* inDescriptor, OutputFunction out,
                     void* outDescriptor);

// Releases the state through zfree.
int deflate64_end(z_stream* stream);
