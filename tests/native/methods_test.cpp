// The decoders of the methods read through libraries, and Deflate over the same stream loop,
// through the decoder interface on streams that the tools wrote (tests/data/make_method_streams.sh):
// whole in any chunking, cut short, damaged, with a lying size, over the window limit (a refused
// output is the fuzz targets' part); the same for the methods whose streams end at the declared
// size (the old ones and PPMd), on the samples and the tests' own encoder's streams, and their
// tables and headers made to break the rules; large bzip2 streams decoded in blocks on several
// threads against one thread.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/decode_threads.h"
#include "codec/decoder.h"
#include "zip_writer.h"

namespace {

std::string read_stream(const std::string& name)
{
    std::ifstream in(std::string(VARNO_METHOD_STREAMS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Decoding {
    DecodeEnd end = DecodeEnd::failed;
    std::string output;
    int outputCalls = 0;
    uint32_t largestCall = 0;
    const uint8_t* firstBlock = nullptr;
};

// Hands the stream over in chunks of chunk bytes, each in a block of its own size that is freed
// when the next is asked for, so that a decoder reading outside its input is caught.
struct Feed {
    const std::string& stream;
    size_t chunk;
    size_t at = 0;
    std::unique_ptr<char[]> block;
};

// Decodes, offering the decoder to take the stream whole as whole says.
Decoding decode(uint16_t method, uint16_t flags, const std::string& stream, uint64_t declaredSize, size_t chunk,
                WholeEntry whole = {})
{
    const EntryDecoder* decoder = find_decoder(method);
    DecoderState state;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[65536]);  // smaller than the pipeline's: many blocks
    EXPECT_EQ(decoder->start(&state, buffer.get(), 65536), 0);
    Feed feed{stream, chunk};
    Decoding run;
    const auto next = [](void* descriptor, uint8_t** data) -> uint32_t {
        Feed& f = *static_cast<Feed*>(descriptor);
        const size_t count = std::min(f.chunk, f.stream.size() - f.at);
        f.block.reset(count ? new char[count] : nullptr);
        std::copy_n(f.stream.data() + f.at, count, f.block.get());
        f.at += count;
        *data = reinterpret_cast<uint8_t*>(f.block.get());
        return static_cast<uint32_t>(count);
    };
    const auto take = [](void* descriptor, uint8_t* data, uint32_t count) -> int {
        Decoding& r = *static_cast<Decoding*>(descriptor);
        r.output.append(reinterpret_cast<char*>(data), count);
        if (r.outputCalls++ == 0)
            r.firstBlock = data;
        r.largestCall = std::max(r.largestCall, count);
        return 0;
    };
    int status = 0;
    run.end = decoder->decode(&state, {next, &feed, take, &run, declaredSize, flags, whole}, &status);
    decoder->end(&state);
    return run;
}

const struct Stream {
    const char* file;
    uint16_t method, flags;
    bool checked;  // the format carries a check that catches any damaged byte
} kStreams[] = {{"8", 8, 0, false},          {"12", 12, 0, true}, {"14", 14, 2, false}, {"93", 93, 0, true},
                {"93-frames", 93, 0, true}, {"95", 95, 0, true}, {"95-filters", 95, 0, true}};

TEST(Methods, ToolStreamsDecodeWholeInAnyChunking)
{
    const std::string data = read_stream("data");
    for (const Stream& s : kStreams) {
        const std::string stream = read_stream(s.file);
        for (size_t chunk : {size_t{1}, size_t{4093}, stream.size()}) {
            const Decoding run = decode(s.method, s.flags, stream, data.size(), chunk);
            EXPECT_EQ(run.end, DecodeEnd::complete) << s.file << " in chunks of " << chunk;
            EXPECT_TRUE(run.output == data) << s.file << " in chunks of " << chunk;
        }
    }
}

TEST(Methods, DamagedStreamsNeverPassForWhole)
{
    const std::string data = read_stream("data");
    for (const Stream& s : kStreams) {
        const std::string stream = read_stream(s.file);
        EXPECT_EQ(decode(s.method, s.flags, stream.substr(0, stream.size() / 2), data.size(), 4096).end,
                  DecodeEnd::truncated) << s.file;
        std::string flipped = stream;
        flipped[flipped.size() / 2] ^= 0x55;
        const Decoding run = decode(s.method, s.flags, flipped, data.size(), 4096);
        if (s.checked)
            EXPECT_EQ(run.end, DecodeEnd::invalidData) << s.file;
        else
            EXPECT_FALSE(run.end == DecodeEnd::complete && run.output == data) << s.file;
        // A lying size: the stream's end decides, unless the stream does not fit a window of the
        // size claimed (LZMA's), and then it fails.
        for (uint64_t claimed : {data.size() / 2, data.size() + 1000}) {
            const Decoding lied = decode(s.method, s.flags, stream, claimed, 4096);
            EXPECT_TRUE(lied.end == DecodeEnd::complete ? lied.output == data : lied.end == DecodeEnd::invalidData)
                << s.file << " said to hold " << claimed;
        }
    }
}

// A Zstandard frame of raw blocks (64 KiB at most each) holding data, with a 128 KiB window.
std::string raw_zstd_frame(const std::string& data)
{
    std::string frame("\x28\xB5\x2F\xFD\x00\x38", 6);
    for (size_t at = 0; at < data.size(); at += 65536) {
        const size_t size = std::min<size_t>(65536, data.size() - at);
        const uint32_t header = static_cast<uint32_t>(size << 3) | (at + size == data.size());
        frame += {static_cast<char>(header), static_cast<char>(header >> 8), static_cast<char>(header >> 16)};
        frame += data.substr(at, size);
    }
    return frame;
}

// A stream whose input ends at a frame's end is whole, also where the frame ends exactly as an
// output block fills (the test's blocks are 64 KiB), and the declared size is larger.
TEST(Methods, ZstandardFramesEndingWithAnOutputBlockAreWhole)
{
    for (size_t size : {65535, 65536, 65537, 131072}) {
        const std::string data = std::string(size, 'z');
        for (size_t chunk : {size_t{4096}, size + 100}) {
            const Decoding run = decode(93, 0, raw_zstd_frame(data), size + 65536, chunk);
            EXPECT_EQ(run.end, DecodeEnd::complete) << size << " in chunks of " << chunk;
            EXPECT_TRUE(run.output == data) << size;
        }
    }
}

void put_le32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

TEST(Methods, WindowsOverTheLimitAreRefusedBeforeTheyAreMade)
{
    const std::string data = read_stream("data");
    // LZMA: the header's dictionary counts only as far as the entry's size reaches.
    std::string lzma = read_stream("14");
    put_le32(lzma, 5, 1u << 30);
    EXPECT_EQ(decode(14, 2, lzma, data.size(), 4096).end, DecodeEnd::complete);
    const Decoding large = decode(14, 2, lzma, uint64_t{512} << 20, 4096);
    EXPECT_EQ(large.end, DecodeEnd::overLimit);
    EXPECT_EQ(large.outputCalls, 0);
    // XZ: the LZMA2 dictionary of the first block header (behind the 12-byte stream header),
    // with the header's CRC-32 made anew.
    std::string xz = read_stream("95");
    ASSERT_EQ(xz.substr(12, 5), std::string("\x02\x00\x21\x01\x16", 5));
    xz[16] = 36;  // 1 GiB
    put_le32(xz, 20, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(xz.data() + 12), 8)));
    EXPECT_EQ(decode(95, 0, xz, data.size(), 4096).end, DecodeEnd::overLimit);
    // Zstandard: a frame of one raw byte whose window descriptor asks for 2^(10 + exponent)
    // bytes; 256 MiB is still within the limit.
    for (const auto& [exponent, end] : {std::pair{18, DecodeEnd::complete}, std::pair{19, DecodeEnd::overLimit}}) {
        const std::string frame = std::string("\x28\xB5\x2F\xFD\x00", 5) + static_cast<char>(exponent << 3) +
                                  std::string("\x09\x00\x00x", 4);
        EXPECT_EQ(decode(93, 0, frame, 1, 4096).end, end) << exponent;
    }
}

// The methods whose streams end at the declared size: the old ones, which have no end of their
// own, and PPMd, whose end must come there.
const struct SizedStream {
    const char* file;
    uint16_t method, flags;
    const char* decoded;  // what the stream decodes to
} kSizedStreams[] = {
    {"1", 1, 0, "legacy-data"},
    {"2", 2, 0, "legacy-data"},
    {"3", 3, 0, "legacy-data"},
    {"4", 4, 0, "legacy-data"},
    {"5", 5, 0, "legacy-data"},
    {"6-0", 6, 0, "legacy-data"},
    {"6-2", 6, 2, "legacy-data"},
    {"6-4", 6, 4, "legacy-data"},
    {"6-6", 6, 6, "legacy-data"},
    {"98", 98, 0, "data"},
    {"98-o2", 98, 0, "data"},
    {"sample-shrink", 1, 0, "sample-shrink.out"},
    {"sample-reduce", 5, 0, "sample-reduce.out"},
    {"sample-implode", 6, 6, "sample-implode.out"},
    {"sample-ppmd", 98, 0, "sample-ppmd.out"},
    {"sample-hamlet-implode", 6, 0, "sample-hamlet-implode.out"},
    {"sample-hamlet-reduce", 5, 0, "sample-hamlet-reduce.out"},
    {"sample-hamlet-reduce-zero", 5, 0, "sample-hamlet-reduce-zero.out"},
};

TEST(Methods, SizedStreamsDecodeWholeAndEndAtTheirSize)
{
    for (const SizedStream& s : kSizedStreams) {
        const std::string stream = read_stream(s.file);
        const std::string data = read_stream(s.decoded);
        for (size_t chunk : {size_t{1}, size_t{4093}, stream.size()}) {
            const Decoding run = decode(s.method, s.flags, stream, data.size(), chunk);
            EXPECT_EQ(run.end, DecodeEnd::complete) << s.file << " in chunks of " << chunk;
            EXPECT_TRUE(run.output == data) << s.file << " in chunks of " << chunk;
        }
        EXPECT_EQ(decode(s.method, s.flags, stream.substr(0, stream.size() / 2), data.size(), 4096).end,
                  DecodeEnd::truncated) << s.file;
        std::string flipped = stream;
        flipped[flipped.size() / 2] ^= 0x55;
        const Decoding damaged = decode(s.method, s.flags, flipped, data.size(), 4096);
        EXPECT_FALSE(damaged.end == DecodeEnd::complete && damaged.output == data) << s.file;
        // Declared shorter, the old methods' streams end there; PPMd's does not end there and
        // fails as damaged. Declared longer, they go on as far as their bytes go (some samples
        // have padding behind their data), and are whole only if that is as far as declared.
        const Decoding shorter = decode(s.method, s.flags, stream, data.size() / 2, 4096);
        if (s.method == 98)
            EXPECT_EQ(shorter.end, DecodeEnd::invalidData) << s.file;
        else
            EXPECT_TRUE(shorter.end == DecodeEnd::complete && shorter.output == data.substr(0, data.size() / 2)) << s.file;
        const Decoding longer = decode(s.method, s.flags, stream, data.size() + 1000, 4096);
        EXPECT_EQ(longer.end == DecodeEnd::complete, longer.output.size() == data.size() + 1000) << s.file;
        EXPECT_TRUE(longer.end == DecodeEnd::invalidData || longer.output.compare(0, data.size(), data) == 0) << s.file;
    }
}

// Fields of the given widths, least significant bit first, as the old methods store them.
std::string bits_of(std::initializer_list<std::pair<uint32_t, uint32_t>> fields)
{
    std::string bytes;
    uint64_t held = 0;
    uint32_t count = 0;
    for (const auto& [value, width] : fields) {
        held |= static_cast<uint64_t>(value) << count;
        for (count += width; count >= 8; count -= 8, held >>= 8)
            bytes += static_cast<char>(held & 0xFF);
    }
    return count ? bytes + static_cast<char>(held) : bytes;
}

TEST(Methods, TablesAndHeadersThatBreakTheRulesAreDataErrors)
{
    const std::string ppmd = read_stream("sample-ppmd");
    const std::string ipsum = read_stream("sample-ppmd.out");
    const auto with_header = [&](uint16_t header) {
        return std::string{static_cast<char>(header & 0xFF), static_cast<char>(header >> 8)} + ppmd.substr(2);
    };
    // Reduce's 256 follower sets, byte 255's first: 255 empty ones (1530 zero bits), then byte
    // 0's (the one before the first byte) of count bytes x, y, z; then a follower by its index.
    const auto reduce = [](uint32_t count, uint32_t index) {
        return std::string(191, '\0') + bits_of({{0, 2}, {count, 6}, {'x', 8}, {'y', 8}, {'z', 8}, {0, 1}, {index, 2}});
    };
    const auto tree = [](uint32_t bytes, uint8_t pair) { return std::string(1, static_cast<char>(bytes - 1)) + std::string(bytes, static_cast<char>(pair)); };
    const struct Case {
        const char* what;
        uint16_t method, flags;
        std::string stream;
        uint64_t declared;
        DecodeEnd end;
        std::string output;  // when complete
    } cases[] = {
        {"shrink: the code just added, named at once", 1, 0, bits_of({{97, 9}, {257, 9}}), 3, DecodeEnd::complete, "aaa"},
        {"shrink: a control code other than 1 and 2", 1, 0, bits_of({{97, 9}, {256, 9}, {3, 9}}), 9, DecodeEnd::invalidData, ""},
        {"shrink: codes wider than 13 bits", 1, 0,
         bits_of({{256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12}, {1, 12}, {256, 13}, {1, 13}}), 9,
         DecodeEnd::invalidData, ""},
        {"shrink: a first code that is no byte", 1, 0, bits_of({{300, 9}}), 9, DecodeEnd::invalidData, ""},
        {"shrink: a free code other than the next", 1, 0, bits_of({{97, 9}, {258, 9}}), 9, DecodeEnd::invalidData, ""},
        // After the partial clearing the code added extends the previous code, freed itself.
        {"shrink: a code made its own parent", 1, 0,
         bits_of({{97, 9}, {98, 9}, {257, 9}, {256, 9}, {2, 9}, {97, 9}, {257, 9}}), 99, DecodeEnd::invalidData, ""},
        {"shrink: a chain through a freed code", 1, 0,
         bits_of({{97, 9}, {98, 9}, {99, 9}, {100, 9}, {101, 9}, {260, 9}, {256, 9}, {2, 9}, {97, 9}, {257, 9}}), 99,
         DecodeEnd::invalidData, ""},
        {"reduce: a follower taken by its index", 5, 0, reduce(3, 2), 1, DecodeEnd::complete, "z"},
        {"reduce: a follower index past the set", 5, 0, reduce(3, 3), 1, DecodeEnd::invalidData, ""},
        {"reduce: a follower set of 33", 5, 0, bits_of({{33, 6}}), 1, DecodeEnd::invalidData, ""},
        {"implode: a tree of codes that leave bits unused", 6, 0, tree(4, 0xF6), 1, DecodeEnd::invalidData, ""},
        {"implode: a tree of more codes than bits", 6, 0, tree(4, 0xF4), 1, DecodeEnd::invalidData, ""},
        {"implode: a tree of more values than it has", 6, 0, tree(5, 0xF5), 1, DecodeEnd::invalidData, ""},
        {"ppmd: the largest model a header names", 98, 0, with_header(0x0FF8), ipsum.size(), DecodeEnd::complete, ipsum},
        {"ppmd: order 1", 98, 0, with_header(0x0000), ipsum.size(), DecodeEnd::invalidData, ""},
        {"ppmd: restoration by freezing", 98, 0, with_header(0x2008), ipsum.size(), DecodeEnd::invalidData, ""},
    };
    for (const Case& c : cases) {
        const Decoding run = decode(c.method, c.flags, c.stream, c.declared, 4096);
        EXPECT_EQ(run.end, c.end) << c.what;
        if (c.end == DecodeEnd::complete)
            EXPECT_EQ(run.output, c.output) << c.what;
    }
}

// Deflate entries of at most 16 MiB, with their compressed bytes known to be there and their
// CRC-32 recorded, are decoded whole (one output block); the others, and any that the whole
// decoding cannot take, end exactly as zlib chunk by chunk makes them end.
TEST(Methods, DeflateEntriesUpToTheBoundAreDecodedWholeAndOthersAsZlibDecides)
{
    constexpr uint64_t kLimit = 16u << 20;
    const std::string small = read_stream("data");
    const std::string smallStream = read_stream("8");
    std::string big;
    while (big.size() < kLimit)
        big += small;
    big.resize(kLimit);
    const std::string bigStream = ziptest::deflate_raw(big, 1);
    std::string flipped = smallStream;
    flipped[flipped.size() / 2] ^= 0x55;

    const auto crc_of = ziptest::crc32_of;
    enum Known { inputKnown, inputUnknown };
    const struct Case {
        const char* what;
        const std::string& stream;
        uint64_t declared;
        uint32_t crc;
        Known known;
        bool span;
        bool whole;  // delivered as one block
    } cases[] = {
        {"at the bound", bigStream, kLimit, crc_of(big), inputKnown, false, true},
        {"a byte over the bound", bigStream, kLimit + 1, crc_of(big), inputKnown, false, false},
        {"declared a byte short", bigStream, kLimit - 1, crc_of(big), inputKnown, false, false},
        {"declared longer", smallStream, small.size() + 1000, crc_of(small), inputKnown, false, true},
        {"into the output's span", smallStream, small.size(), crc_of(small), inputKnown, true, true},
        {"input not known to be there", smallStream, small.size(), crc_of(small), inputUnknown, false, false},
        {"a CRC-32 that does not match", smallStream, small.size(), crc_of(small) ^ 1, inputKnown, false, false},
        {"damaged", flipped, small.size(), crc_of(small), inputKnown, true, false},
        {"cut short", smallStream.substr(0, smallStream.size() / 2), small.size(), crc_of(small), inputKnown, false, false},
    };
    ReusableBuffer memory = {};
    for (const Case& c : cases) {
        std::string span(c.span ? c.declared : 0, '\0');
        WholeEntry whole = {};
        whole.inputSize = c.known == inputKnown ? c.stream.size() : 0;
        whole.crcRecorded = true;
        whole.recordedCrc = c.crc;
        whole.outputSpan = c.span ? reinterpret_cast<uint8_t*>(span.data()) : nullptr;
        whole.outputRoom = UINT64_MAX;
        whole.memory = &memory;
        const Decoding zlib = decode(8, 0, c.stream, c.declared, 1 << 20);
        const Decoding run = decode(8, 0, c.stream, c.declared, 1 << 20, whole);
        EXPECT_EQ(run.end, zlib.end) << c.what;
        EXPECT_TRUE(run.output == zlib.output) << c.what;
        EXPECT_EQ(run.outputCalls == 1, c.whole) << c.what;
        if (c.whole && c.span)
            EXPECT_EQ(run.firstBlock, whole.outputSpan) << c.what;
        EXPECT_LE(memory.capacity, 2 * kLimit) << c.what;
    }
    release_buffer(&memory);
}

// A bzip2 stream as bits, the first the highest, and back (zero bits pad the last byte).
std::vector<bool> bits_of(const std::string& bytes)
{
    std::vector<bool> bits;
    for (unsigned char c : bytes)
        for (int i = 7; i >= 0; --i)
            bits.push_back(c >> i & 1);
    return bits;
}

std::string bytes_of(const std::vector<bool>& bits)
{
    std::string bytes((bits.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i)
        bytes[i / 8] = static_cast<char>(bytes[i / 8] | bits[i] << (7 - i % 8));
    return bytes;
}

uint64_t take_bits(const std::vector<bool>& bits, size_t at, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 1 | bits[at + i];
    return value;
}

constexpr uint64_t kBlockMagic = 0x314159265359, kEndMagic = 0x177245385090;

// The stream with magic's 48 bits inside the data of its block number `block`, which still
// decodes to the same bytes: they go behind the block's selectors as selectors of their own
// (runs of ones shorter than the tables' count, each ended by a zero), which libbz2 reads and
// leaves unused.
std::string with_planted_magic(const std::string& stream, int block, uint64_t magic)
{
    std::vector<bool> bits = bits_of(stream);
    size_t at = 32;
    for (int found = 0; found < block || take_bits(bits, at, 48) != kBlockMagic; ++at)
        found += take_bits(bits, at, 48) == kBlockMagic;
    at += 48 + 32 + 1 + 24;
    const uint64_t used = take_bits(bits, at, 16);
    at += 16 + 16 * __builtin_popcountll(used);
    EXPECT_GE(take_bits(bits, at, 3), 4u) << "tables enough for runs of three ones";
    const size_t count = at + 3;
    at = count + 15;
    for (uint64_t selector = take_bits(bits, count, 15); selector > 0; --selector)
        while (bits[at++]) {
        }
    std::vector<bool> planted;
    for (int i = 47; i >= 0; --i)
        planted.push_back(magic >> i & 1);
    planted.push_back(false);
    const uint64_t added = std::count(planted.begin(), planted.end(), false);
    const uint64_t selectors = take_bits(bits, count, 15) + added;
    for (int i = 0; i < 15; ++i)
        bits[count + i] = selectors >> (14 - i) & 1;
    bits.insert(bits.begin() + static_cast<ptrdiff_t>(at), planted.begin(), planted.end());
    return bytes_of(bits);
}

// Large bzip2 entries are decoded a block at a time on several threads (whole entry offered
// with an output that takes any block) and end exactly as one thread ends them, with the same
// bytes: whole, with magics inside a block's data, damaged, cut short, with lying sizes; also
// where each block's output is several MiB and is handed over in pieces. Declared sizes of
// 16 MiB take the six blocks of the sample to the block decoder; the long runs are 6 MB.
TEST(Methods, Bzip2BlocksEndAsOneThreadEndsThem)
{
    const std::string blocks = read_stream("data"), runs = read_stream("runs");
    const std::string stream = read_stream("12-blocks"), runStream = read_stream("12-runs");
    const auto flipped = [](std::string s, size_t at, char mask) {
        s[at] ^= mask;
        return s;
    };
    constexpr uint64_t kLarge = 16u << 20;
    constexpr size_t kSmall = 4093, kMiB = 1 << 20;  // input chunks
    const struct Case {
        const char* what;
        std::string stream;
        const std::string& data;
        uint64_t declared;
        size_t chunk;
        bool whole;  // decodes to data, the blocks before any doubt delivered whole
    } cases[] = {
        {"whole", stream, blocks, kLarge, kSmall, true},
        {"whole", stream, blocks, kLarge, kMiB, true},
        {"long runs", runStream, runs, runs.size(), kSmall, true},
        {"with bytes behind its end", stream + "BZh91AY&SY" + stream, blocks, kLarge, kMiB, true},
        {"a block magic inside block 2", with_planted_magic(stream, 2, kBlockMagic), blocks, kLarge, kSmall, true},
        {"an end magic inside block 3", with_planted_magic(stream, 3, kEndMagic), blocks, kLarge, kMiB, true},
        {"an end magic inside the last block", with_planted_magic(stream, 5, kEndMagic), blocks, kLarge, kSmall, true},
        {"a damaged block in the middle", flipped(stream, stream.size() / 2, 0x10), blocks, kLarge, kMiB, false},
        {"a damaged block of long runs", flipped(runStream, runStream.size() / 2, 0x01), runs, runs.size(), kSmall, false},
        {"a wrong CRC in a block of long runs", flipped(runStream, 10, 0x01), runs, runs.size(), kMiB, false},
        {"a damaged combined CRC", flipped(stream, stream.size() - 2, 0x40), blocks, kLarge, kSmall, false},
        {"cut in half", stream.substr(0, stream.size() / 2), blocks, kLarge, kMiB, false},
        {"cut in the end magic", stream.substr(0, stream.size() - 7), blocks, kLarge, kSmall, false},
        {"cut in the combined CRC", runStream.substr(0, runStream.size() - 2), runs, runs.size(), kMiB, false},
        {"cut in the combined CRC, declared shorter", runStream.substr(0, runStream.size() - 2), runs, runs.size() - 1,
         kSmall, false},
        {"declared shorter", runStream, runs, runs.size() - 100000, kMiB, false},
    };
    WholeEntry anyBlocks = {};
    anyBlocks.outputRoom = UINT64_MAX;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " in chunks of " + std::to_string(c.chunk));
        const Decoding one = decode(12, 0, c.stream, c.declared, c.chunk);
        const Decoding run = decode(12, 0, c.stream, c.declared, c.chunk, anyBlocks);
        EXPECT_EQ(run.end, one.end);
        EXPECT_TRUE(run.output == one.output) << run.output.size() << " bytes against " << one.output.size();
        if (c.whole) {
            EXPECT_EQ(run.end, DecodeEnd::complete);
            EXPECT_TRUE(run.output == c.data);
            EXPECT_GT(run.largestCall, 65536u) << "blocks delivered whole, not in the decoder's 64 KiB pieces";
        }
    }
}

// A decoder's helpers take only processors that no busy thread holds, and give them back.
TEST(Methods, HelpersTakeOnlyIdleProcessors)
{
    const uint32_t processors = processor_count();
    uint32_t taken = 0;
    {
        const BusyDecoding entryThread;
        taken = take_idle_processors(UINT32_MAX);
        EXPECT_EQ(taken, processors - 1);
        EXPECT_EQ(take_idle_processors(1), 0u);
        return_processors(taken);
        EXPECT_EQ(take_idle_processors(1), processors > 1 ? 1u : 0u);
        return_processors(processors > 1 ? 1 : 0);
    }
    taken = take_idle_processors(UINT32_MAX);
    EXPECT_EQ(taken, processors);
    return_processors(taken);
}

}  // namespace
