// The Deflate64 decoder: hand-made streams for every failure and edge of the format, Deflate
// streams of zlib's against zlib's own decoder, and archives made by 7zz decoded in chunks.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/deflate64.h"

namespace {

// ---- Decoding harness -------------------------------------------------------------------------

// Hands out the stream in chunks, each in a heap block of its own size that is freed when the
// next one is asked for, so that reads past a chunk or of an old chunk trip the sanitizer.
struct ChunkInput {
    const std::string* data;
    size_t pos = 0;
    size_t chunk = 0;
    std::unique_ptr<uint8_t[]> block;
    uint32_t calls = 0;

    static uint32_t read(void* descriptor, uint8_t** next)
    {
        auto* self = static_cast<ChunkInput*>(descriptor);
        ++self->calls;
        const size_t n = std::min(self->chunk, self->data->size() - self->pos);
        self->block.reset();
        if (n == 0)
            return 0;
        self->block.reset(new uint8_t[n]);
        memcpy(self->block.get(), self->data->data() + self->pos, n);
        self->pos += n;
        *next = self->block.get();
        return static_cast<uint32_t>(n);
    }
};

struct Collector {
    const uint8_t* window = nullptr;
    std::string out;
    std::vector<uint32_t> calls;
    int failAt = -1;  // index of the call that fails
    bool badPointer = false;

    static int write(void* descriptor, uint8_t* data, uint32_t count)
    {
        auto* self = static_cast<Collector*>(descriptor);
        if (data != self->window)
            self->badPointer = true;
        self->calls.push_back(count);
        if (static_cast<int>(self->calls.size()) - 1 == self->failAt)
            return 1;
        self->out.append(reinterpret_cast<const char*>(data), count);
        return 0;
    }
};

struct Decoded {
    int code = 0;
    std::string out;
    std::vector<uint32_t> calls;
    std::string msg;
    bool nextInNull = false;
    uInt availIn = 0;
    size_t consumed = 0;  // bytes of the stream taken, when next_in points into it
};

// Decodes stream: the first `initial` bytes through next_in/avail_in, the rest through the
// input function in chunks of `chunk` bytes.
Decoded decode(const std::string& stream, size_t chunk = 1 << 20, size_t initial = 0, int failAt = -1)
{
    initial = std::min(initial, stream.size());
    std::unique_ptr<uint8_t[]> window(new uint8_t[kDeflate64WindowSize]);
    z_stream z{};
    EXPECT_EQ(deflate64_init(&z, window.get(), "1.3.1", sizeof(z_stream)), 0);
    std::string head = stream.substr(0, initial), rest = stream.substr(initial);
    z.next_in = initial ? reinterpret_cast<Bytef*>(&head[0]) : nullptr;
    z.avail_in = static_cast<uInt>(initial);
    ChunkInput in{&rest};
    in.chunk = chunk;
    Collector out;
    out.window = window.get();
    out.failAt = failAt;
    Decoded d;
    d.code = deflate64_decode(&z, ChunkInput::read, &in, Collector::write, &out);
    d.out = std::move(out.out);
    d.calls = out.calls;
    d.msg = z.msg ? z.msg : "";
    d.nextInNull = z.next_in == nullptr;
    d.availIn = z.avail_in;
    if (z.next_in != nullptr && in.calls == 0)
        d.consumed = static_cast<size_t>(reinterpret_cast<char*>(z.next_in) - head.data());
    EXPECT_FALSE(out.badPointer) << "output not delivered from the window";
    // Whole windows, then one partly filled window at the end.
    for (size_t i = 0; i + 1 < d.calls.size(); ++i)
        EXPECT_EQ(d.calls[i], kDeflate64WindowSize) << "call " << i;
    if (!d.calls.empty())
        EXPECT_GT(d.calls.back(), 0u);
    EXPECT_EQ(deflate64_end(&z), 0);
    return d;
}

// ---- Stream writer ----------------------------------------------------------------------------

struct BitWriter {
    std::string bytes;
    uint64_t acc = 0;
    uint32_t n = 0;

    void put(uint32_t value, uint32_t bits)
    {
        acc |= static_cast<uint64_t>(value) << n;
        n += bits;
        while (n >= 8) {
            bytes.push_back(static_cast<char>(acc & 0xFF));
            acc >>= 8;
            n -= 8;
        }
    }
    void align() { if (n % 8) put(0, 8 - n % 8); }
    std::string finish() { align(); return bytes; }
};

// Canonical codes of a set of code lengths, reversed for writing least significant bit first.
struct Code {
    std::vector<uint32_t> codes, lens;
    explicit Code(const std::vector<uint32_t>& lengths) : codes(lengths.size()), lens(lengths)
    {
        uint32_t count[16] = {}, next[16] = {};
        for (uint32_t l : lengths) ++count[l];
        count[0] = 0;
        for (int l = 1, code = 0; l < 16; ++l) {
            code = (code + count[l - 1]) << 1;
            next[l] = code;
        }
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s]) {
                uint32_t c = next[lengths[s]]++, r = 0;
                for (uint32_t i = 0; i < lengths[s]; ++i, c >>= 1) r = (r << 1) | (c & 1);
                codes[s] = r;
            }
    }
    void put(BitWriter& w, uint32_t symbol) const
    {
        ASSERT_NE(lens.at(symbol), 0u) << "symbol " << symbol << " has no code";
        w.put(codes[symbol], lens[symbol]);
    }
};

const uint32_t kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99,
                               115, 131, 163, 195, 227, 3};
const uint32_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
const uint32_t kDistBase[32] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
uint32_t dist_extra(uint32_t s) { return s < 4 ? 0 : s / 2 - 1; }

// One item of block content: a literal, a match, or a raw symbol (for invalid ones).
struct Item {
    enum Kind { lit, match, raw } kind;
    uint32_t a = 0, b = 0;  // literal byte / length, distance / symbol
    bool force285 = false;
};
Item lit(uint8_t c) { return {Item::lit, c, 0}; }
Item match(uint32_t len, uint32_t dist, bool via285 = false) { return {Item::match, len, dist, via285}; }
Item raw(uint32_t symbol) { return {Item::raw, 0, symbol}; }

std::vector<Item> literals(const std::string& s)
{
    std::vector<Item> items;
    for (char c : s) items.push_back(lit(static_cast<uint8_t>(c)));
    return items;
}

// Writes items and an end of block with the given literal/length and distance codes.
void put_items(BitWriter& w, const Code& lc, const Code& dc, const std::vector<Item>& items, bool endOfBlock = true)
{
    for (const Item& it : items) {
        if (it.kind == Item::lit) {
            lc.put(w, it.a);
        } else if (it.kind == Item::raw) {
            lc.put(w, it.b);
        } else {
            int s = 28;
            if (!(it.force285 || it.a > 258))
                for (s = 27; kLenBase[s] > it.a; --s) {}
            lc.put(w, 257 + s);
            w.put(it.a - kLenBase[s], kLenExtra[s]);
            int d = 31;
            while (kDistBase[d] > it.b) --d;
            dc.put(w, d);
            w.put(it.b - kDistBase[d], dist_extra(d));
        }
    }
    if (endOfBlock)
        lc.put(w, 256);
}

std::vector<uint32_t> fixed_lengths()
{
    std::vector<uint32_t> l(288);
    for (int s = 0; s < 288; ++s) l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return l;
}
const Code kFixedLit(fixed_lengths());
const Code kFixedDist(std::vector<uint32_t>(32, 5));

void fixed_block(BitWriter& w, bool last, const std::vector<Item>& items, bool endOfBlock = true)
{
    w.put(last, 1);
    w.put(1, 2);
    put_items(w, kFixedLit, kFixedDist, items, endOfBlock);
}

void stored_block(BitWriter& w, bool last, const std::string& data, uint32_t complement = 0)
{
    w.put(last, 1);
    w.put(0, 2);
    w.align();
    w.put(static_cast<uint32_t>(data.size()), 16);
    w.put(complement ? complement : (~data.size() & 0xFFFF), 16);
    for (char c : data) w.put(static_cast<uint8_t>(c), 8);
}

// A code length item: a length 0..15, or a repeat symbol 16..18 with its extra bits.
struct LenItem { uint32_t symbol, extra; };

// The code length code of every dynamic block written here: 13 codes of 4 bits, 6 of 5.
const Code kCodeLengthCode([] {
    std::vector<uint32_t> l(19, 4);
    for (int s = 13; s < 19; ++s) l[s] = 5;
    return l;
}());
const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void dynamic_header(BitWriter& w, bool last, uint32_t nlen, uint32_t ndist, const std::vector<LenItem>& items,
                    const std::vector<uint32_t>* codeLengthLens = nullptr)
{
    const uint32_t ncode = 19;
    w.put(last, 1);
    w.put(2, 2);
    w.put(nlen - 257, 5);
    w.put(ndist - 1, 5);
    w.put(ncode - 4, 4);
    const std::vector<uint32_t>& cl = codeLengthLens ? *codeLengthLens : kCodeLengthCode.lens;
    for (uint32_t i = 0; i < ncode; ++i) w.put(cl[kOrder[i]], 3);
    const Code code(cl);
    for (const LenItem& it : items) {
        code.put(w, it.symbol);
        if (it.symbol >= 16) w.put(it.extra, it.symbol == 16 ? 2 : it.symbol == 17 ? 3 : 7);
    }
}

std::vector<LenItem> plain(const std::vector<uint32_t>& lens)
{
    std::vector<LenItem> items;
    for (uint32_t l : lens) items.push_back({l, 0});
    return items;
}

// A whole dynamic block over the given code lengths.
void dynamic_block(BitWriter& w, bool last, const std::vector<uint32_t>& litLens, const std::vector<uint32_t>& distLens,
                   const std::vector<Item>& items, bool endOfBlock = true)
{
    std::vector<uint32_t> all(litLens);
    all.insert(all.end(), distLens.begin(), distLens.end());
    dynamic_header(w, last, static_cast<uint32_t>(litLens.size()), static_cast<uint32_t>(distLens.size()), plain(all));
    put_items(w, Code(litLens), Code(distLens), items, endOfBlock);
}

// A complete code over all 286 literal/length symbols: the length symbols and the first 197
// bytes of 8 bits, the other bytes and end of block of 9 (2 * 226 + 60 = 512 slots of 9 bits).
std::vector<uint32_t> broad_lit_lens()
{
    std::vector<uint32_t> l(286, 9);
    for (int s = 257; s < 286; ++s) l[s] = 8;
    for (int s = 0; s < 197; ++s) l[s] = 8;
    return l;
}

// What decoding items must give, byte by byte.
std::string expand(std::string out, const std::vector<Item>& items)
{
    for (const Item& it : items) {
        if (it.kind == Item::lit) {
            out.push_back(static_cast<char>(it.a));
        } else if (it.kind == Item::match) {
            for (uint32_t i = 0; i < it.a; ++i) out.push_back(out[out.size() - it.b]);
        }
    }
    return out;
}

std::string random_bytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string text_bytes(size_t n, uint32_t seed)
{
    static const char* words[] = {"the ", "window ", "decoder ", "reads ", "bits ", "of ", "a ", "stream ", "and ",
                                  "writes ", "bytes\n", "archive ", "entry ", "length ", "distance ", "code "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) s += words[rng() % 16];
    s.resize(n);
    return s;
}

// ---- Results of hand-made streams --------------------------------------------------------------

struct StreamCase {
    const char* name;
    std::string (*make)();
    int code;
    const char* msg;
};

// Lengths for count symbols, all 0 but those given as {symbol, length}.
std::vector<uint32_t> lengths(size_t count, std::initializer_list<std::pair<int, uint32_t>> set)
{
    std::vector<uint32_t> l(count, 0);
    for (auto [symbol, length] : set) l[symbol] = length;
    return l;
}

// A final dynamic block's header over literal/length and distance lengths, and what follows.
std::string header(const std::vector<uint32_t>& lit, const std::vector<uint32_t>& dist, const std::string& then = "")
{
    BitWriter w;
    std::vector<uint32_t> all(lit);
    all.insert(all.end(), dist.begin(), dist.end());
    dynamic_header(w, true, static_cast<uint32_t>(lit.size()), static_cast<uint32_t>(dist.size()), plain(all));
    for (char c : then) w.put(c == '1', 1);  // bits, as '0' and '1'
    return w.finish();
}

// A header over code length code lengths and the code length items that follow.
std::string code_lengths(const std::vector<uint32_t>& codeLengthLens, const std::vector<LenItem>& items = {})
{
    BitWriter w;
    dynamic_header(w, true, 257, 1, items, &codeLengthLens);
    return w.finish();
}

const std::vector<uint32_t> kOneBit = {1};
const std::vector<uint32_t> kEndOnly = lengths(257, {{0, 1}, {256, 1}});

const StreamCase kFailures[] = {
    {"block type 3", [] { BitWriter w; w.put(1, 1); w.put(3, 2); return w.finish(); }, -3, "invalid block type"},
    {"stored complement", [] { BitWriter w; stored_block(w, true, "abc", 0x1234); return w.finish(); }, -3,
     "invalid stored block lengths"},
    {"nlen 287", [] { BitWriter w; dynamic_header(w, true, 287, 1, {}); return w.finish(); }, -3,
     "too many length symbols"},
    {"nlen 288", [] { BitWriter w; dynamic_header(w, true, 288, 32, {}); return w.finish(); }, -3,
     "too many length symbols"},
    {"code length codes all zero", [] { return code_lengths(lengths(19, {})); }, -3, "invalid code lengths set"},
    {"code length codes over-subscribed", [] { return code_lengths(lengths(19, {{0, 1}, {8, 1}, {7, 1}})); }, -3,
     "invalid code lengths set"},
    {"code length code of one bit", [] { return code_lengths(lengths(19, {{0, 1}})); }, -3,
     "invalid code lengths set"},
    {"repeat with no previous length", [] { return code_lengths(kCodeLengthCode.lens, {{16, 0}}); }, -3,
     "invalid bit length repeat"},
    {"zero run past the end", [] { return code_lengths(kCodeLengthCode.lens, {{18, 127}, {18, 127}, {17, 0}}); }, -3,
     "invalid bit length repeat"},
    {"repeat past the end",
     [] {
         std::vector<LenItem> items(256, {0, 0});
         items.push_back({1, 0});
         items.push_back({16, 0});  // 3 more lengths where 1 is left
         return code_lengths(kCodeLengthCode.lens, items);
     },
     -3, "invalid bit length repeat"},
    {"no end-of-block code", [] { return header(lengths(258, {{0, 1}, {257, 1}}), kOneBit); }, -3,
     "invalid code -- missing end-of-block"},
    {"literal/length lengths over-subscribed", [] { return header(lengths(257, {{0, 1}, {1, 1}, {256, 1}}), kOneBit); },
     -3, "invalid literal/lengths set"},
    {"literal/length lengths incomplete", [] { return header(lengths(257, {{0, 1}, {256, 2}}), kOneBit); }, -3,
     "invalid literal/lengths set"},
    {"distance lengths incomplete", [] { return header(kEndOnly, {1, 2}); }, -3, "invalid distances set"},
    {"distance lengths over-subscribed", [] { return header(kEndOnly, {1, 1, 1}); }, -3, "invalid distances set"},
    {"fixed symbol 286", [] { BitWriter w; fixed_block(w, true, {lit('a'), raw(286)}, false); return w.finish(); }, -3,
     "invalid literal/length code"},
    {"fixed symbol 287", [] { BitWriter w; fixed_block(w, true, {raw(287)}, false); return w.finish(); }, -3,
     "invalid literal/length code"},
    // A single one-bit code (0) for end of block, then the pattern 1.
    {"the missing pattern of a single one-bit code", [] { return header(lengths(257, {{256, 1}}), kOneBit, "1"); }, -3,
     "invalid literal/length code"},
    // 'x' (0), length 3 (11), then the distance pattern 1 of a single one-bit code.
    {"the missing pattern of a single one-bit distance code",
     [] { return header(lengths(258, {{'x', 1}, {256, 2}, {257, 2}}), kOneBit, "0111"); }, -3,
     "invalid distance code"},
    {"a match in a block without distance codes",
     [] { return header(lengths(258, {{'x', 1}, {256, 2}, {257, 2}}), {0}, "01100000"); }, -3,
     "invalid distance code"},
    {"distance beyond the output", [] { BitWriter w; fixed_block(w, true, {lit('a'), match(3, 2)}); return w.finish(); },
     -3, "invalid distance too far back"},
    {"distance 30 before the first window is full",
     [] {
         BitWriter w;
         stored_block(w, false, random_bytes(40000, 3));
         fixed_block(w, true, {match(10, 40001)});
         return w.finish();
     },
     -3, "invalid distance too far back"},
    {"distance 65536 before the first window is full",
     [] {
         BitWriter w;
         stored_block(w, false, random_bytes(65535, 3));
         fixed_block(w, true, {match(10, 65536)});
         return w.finish();
     },
     -3, "invalid distance too far back"},
    {"input ends in a stored block", [] { BitWriter w; stored_block(w, true, "abcdef"); return w.finish().substr(0, 8); },
     -5, ""},
    {"input ends in a fixed block",
     [] { BitWriter w; fixed_block(w, true, literals("some literals here")); return w.finish().substr(0, 10); }, -5, ""},
    {"input ends before the first block", [] { return std::string(); }, -5, ""},
    {"input ends after a non-final block", [] { BitWriter w; stored_block(w, false, "abc"); return w.finish(); }, -5, ""},
};

TEST(Deflate64, FailuresGiveTheirResultAndMessage)
{
    for (const StreamCase& c : kFailures) {
        // Bytes behind a data error let the fast loop meet it too (it needs 16 bytes at hand).
        const std::string stream = c.make() + (c.code == -5 ? "" : std::string(40, '\xA5'));
        for (size_t chunk : {size_t{1}, size_t{1} << 20}) {
            // Half the stream waits in next_in, the rest comes through the input function.
            const Decoded d = decode(stream, chunk, chunk == 1 ? stream.size() / 2 : stream.size());
            EXPECT_EQ(d.code, c.code) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(d.msg, c.msg) << c.name << ", chunks of " << chunk;
            if (c.code == -5) {
                EXPECT_TRUE(d.nextInNull) << c.name;
                EXPECT_EQ(d.availIn, 0u) << c.name;
            }
        }
    }
}

// Streams that must decode to what their items say, with the output calls they must make.
struct GoodCase {
    const char* name;
    std::string stream;
    std::string expected;
    std::vector<uint32_t> calls;
};

std::vector<GoodCase> good_cases()
{
    std::vector<GoodCase> cases;
    auto add = [&](const char* name, BitWriter& w, std::string expected, std::vector<uint32_t> calls) {
        cases.push_back({name, w.finish(), std::move(expected), std::move(calls)});
    };
    {
        BitWriter w;
        stored_block(w, true, "");
        add("empty stored block", w, "", {});
    }
    {
        BitWriter w;
        fixed_block(w, true, {lit('1')});
        add("one byte", w, "1", {1});
    }
    {
        BitWriter w;
        const std::string a = random_bytes(65536, 1);
        stored_block(w, false, a.substr(0, 65535));
        stored_block(w, true, a.substr(65535));
        add("exactly one window", w, a, {65536});
    }
    {
        BitWriter w;
        const std::string a = random_bytes(65537, 2);
        stored_block(w, false, a.substr(0, 65535));
        stored_block(w, true, a.substr(65535));
        add("one byte past a window", w, a, {65536, 1});
    }
    {
        BitWriter w;
        const std::vector<Item> items = {lit('z'), match(65538, 1)};
        fixed_block(w, true, items);
        add("symbol 285 with all extra bits set", w, expand("", items), {65536, 3});
    }
    {
        BitWriter w;
        const std::vector<Item> items = {lit('a'), lit('b'), match(3, 2, true), lit('c')};
        fixed_block(w, true, items);
        add("symbol 285 with no extra bits", w, expand("", items), {6});
    }
    {
        // 70000 bytes of history, then distances 30 and 31 reaching across the window's start,
        // up to 65536 back, with lengths that wrap the window's end.
        BitWriter w;
        const std::string a = random_bytes(70000, 4);
        stored_block(w, false, a.substr(0, 65535));
        stored_block(w, false, a.substr(65535));
        const std::vector<Item> items = {match(100, 65536), match(65538, 32769), match(700, 49153 + 16383),
                                         match(258, 49153), lit('q'), match(65000, 60000)};
        fixed_block(w, true, items);
        const std::string all = expand(a, items);
        std::vector<uint32_t> calls(all.size() / 65536, 65536);
        calls.push_back(all.size() % 65536);
        add("distance codes 30 and 31 after the first window", w, all, calls);
    }
    {
        BitWriter w;
        std::vector<uint32_t> d31(31, 5);
        d31[30] = 4;  // 30 codes of 5 bits and one of 4: complete
        const std::vector<Item> items = {lit('a'), lit('b'), match(20, 2), match(5, 22)};
        dynamic_block(w, false, broad_lit_lens(), d31, items);
        std::vector<uint32_t> d32(32, 5);
        const std::vector<Item> more = {match(9, 27), lit('!')};
        dynamic_block(w, true, broad_lit_lens(), d32, more);
        const std::string all = expand(expand("", items), more);
        add("31 and 32 distance codes", w, all, {static_cast<uint32_t>(all.size())});
    }
    {
        BitWriter w;
        std::vector<uint32_t> l(257, 0);
        l[256] = 1;
        dynamic_block(w, false, l, {1}, {});
        fixed_block(w, true, literals("ok"));
        add("a literal/length code of a single one-bit code", w, "ok", {2});
    }
    {
        // Literals only: a distance code of one zero length, as the format allows.
        BitWriter w;
        const std::vector<Item> items = literals("literals only, no distance code");
        dynamic_block(w, true, broad_lit_lens(), {0}, items);
        add("a block without distance codes", w, expand("", items), {31});
    }
    return cases;
}

TEST(Deflate64, EdgesDecodeExactly)
{
    for (const GoodCase& c : good_cases()) {
        for (size_t chunk : {size_t{1}, size_t{7}, size_t{1} << 20}) {
            const Decoded d = decode(c.stream, chunk);
            ASSERT_EQ(d.code, 1) << c.name << ", chunks of " << chunk << ": " << d.msg;
            EXPECT_TRUE(d.out == c.expected) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(d.calls, c.calls) << c.name;
        }
    }
}

TEST(Deflate64, OutputIsDeliveredOnlyWhenAByteMustBeWritten)
{
    // A full window followed by a bad block: nothing was due to be written, so nothing is delivered.
    BitWriter w;
    stored_block(w, false, random_bytes(65536, 5));
    w.put(1, 1);
    w.put(3, 2);
    Decoded d = decode(w.finish());
    EXPECT_EQ(d.code, -3);
    EXPECT_TRUE(d.calls.empty());

    // A full window, then input that ends before the next byte is known: nothing delivered either.
    const std::string full = random_bytes(65536, 5);
    for (int kind = 0; kind < 3; ++kind) {
        BitWriter t;
        stored_block(t, false, full.substr(0, 65535));
        stored_block(t, false, full.substr(65535));
        const size_t before = t.bytes.size();
        if (kind == 0)
            stored_block(t, true, "more");
        else if (kind == 1)
            fixed_block(t, true, literals("more"));
        else
            fixed_block(t, true, {match(300, 1000)});
        // Keep the next block's header (and 5 bits of its first code), not a byte of its data.
        const std::string stream = t.finish().substr(0, before + (kind == 0 ? 5 : 1));
        for (size_t chunk : {size_t{1}, size_t{1} << 20}) {
            d = decode(stream, chunk);
            EXPECT_EQ(d.code, -5) << kind;
            EXPECT_TRUE(d.calls.empty()) << kind;
        }
    }

    // An output function that fails on the first full window: -5 and no more calls.
    BitWriter v;
    fixed_block(v, true, {lit('a'), match(65538, 1), match(65538, 1)});
    for (size_t chunk : {size_t{1}, size_t{1} << 20}) {
        d = decode(v.finish(), chunk, 0, 0);
        EXPECT_EQ(d.code, -5);
        EXPECT_EQ(d.calls, std::vector<uint32_t>{65536});
        EXPECT_FALSE(d.nextInNull);
    }
}

// ---- Tables ------------------------------------------------------------------------------------

// Code lengths of a complete code whose tables need every entry of their room: lengths 1..3
// once, then 10 to 15 bits in the counts that open the most second-level tables.
std::vector<uint32_t> lengths_from_counts(const std::vector<std::pair<uint32_t, uint32_t>>& counts, uint32_t total,
                                          uint32_t endOfBlock = 0)
{
    std::vector<uint32_t> l;
    for (auto [len, n] : counts) l.insert(l.end(), n, len);
    EXPECT_EQ(l.size(), total);
    if (endOfBlock)  // keep the end-of-block symbol on a short code
        std::swap(l[0], l[endOfBlock]);
    return l;
}
const std::vector<uint32_t> kFullLitLens =
    lengths_from_counts({{1, 1}, {2, 1}, {3, 1}, {10, 117}, {11, 1}, {12, 17}, {13, 17}, {14, 1}, {15, 130}}, 286, 256);
const std::vector<uint32_t> kFullDistLens =
    lengths_from_counts({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {7, 3}, {8, 1}, {9, 17}, {10, 1}, {11, 1}, {12, 1}, {13, 1},
                         {14, 1}, {15, 2}},
                        32);

TEST(Deflate64, TablesFillTheirRoomExactly)
{
    std::vector<uint16_t> lens(kFullLitLens.begin(), kFullLitLens.end());
    std::vector<DecodeEntry> room(kLengthTableRoom + kDistanceTableRoom);
    uint16_t work[288];
    DecodeEntry* next = room.data();
    uint32_t bits = 9;
    ASSERT_EQ(build_code_table(CodeType::lengths, lens.data(), 286, &next, &bits, work), 0);
    EXPECT_EQ(next - room.data(), static_cast<ptrdiff_t>(kLengthTableRoom));
    EXPECT_EQ(bits, 9u);
    std::vector<uint16_t> dl(kFullDistLens.begin(), kFullDistLens.end());
    bits = 6;
    ASSERT_EQ(build_code_table(CodeType::distances, dl.data(), 32, &next, &bits, work), 0);
    EXPECT_EQ(next - room.data(), static_cast<ptrdiff_t>(kLengthTableRoom + kDistanceTableRoom));

    // And a stream over those codes decodes, every symbol of both codes used once.
    std::vector<Item> items = {lit(1), lit(2)};
    for (uint32_t s = 0; s < 256; ++s) items.push_back(lit(static_cast<uint8_t>(s)));
    for (uint32_t ls = 0; ls < 29; ++ls)
        items.push_back(match(kLenBase[ls] + (kLenExtra[ls] ? 1 : 0), kDistBase[ls], ls == 28));
    for (uint32_t ds = 0; ds < 32; ++ds)
        items.push_back(match(3, kDistBase[ds] + (dist_extra(ds) ? 1 : 0)));
    std::string history = random_bytes(70000, 9);
    BitWriter w;
    stored_block(w, false, history.substr(0, 65535));
    stored_block(w, false, history.substr(65535));
    dynamic_block(w, true, kFullLitLens, kFullDistLens, items);
    for (size_t chunk : {size_t{1}, size_t{1} << 20}) {
        const Decoded d = decode(w.finish(), chunk);
        ASSERT_EQ(d.code, 1) << d.msg;
        EXPECT_TRUE(d.out == expand(history, items));
    }
}

TEST(Deflate64, TablesRejectWhatTheyCannotHold)
{
    uint16_t work[288];
    std::vector<DecodeEntry> room(2000);
    struct Case { CodeType type; std::vector<uint32_t> lens; uint32_t bits; int result; };
    const Case cases[] = {
        {CodeType::lengths, std::vector<uint32_t>(4, 0), 9, -1},
        {CodeType::codeLengths, std::vector<uint32_t>(19, 0), 7, -1},
        {CodeType::distances, std::vector<uint32_t>(1, 0), 6, 0},
        {CodeType::lengths, {1}, 9, 0},
        {CodeType::codeLengths, {1}, 7, -1},
        {CodeType::distances, {1, 1, 1}, 6, -1},
        {CodeType::distances, {1, 16}, 6, -1},
        // 288 symbols (more than a dynamic block can have) can need 854 entries: no room.
        {CodeType::lengths,
         lengths_from_counts({{1, 1}, {2, 1}, {3, 1}, {10, 119}, {11, 1}, {12, 1}, {13, 33}, {14, 1}, {15, 130}}, 288),
         9, 1},
    };
    for (const Case& c : cases) {
        std::vector<uint16_t> l(c.lens.begin(), c.lens.end());
        DecodeEntry* next = room.data();
        uint32_t bits = c.bits;
        EXPECT_EQ(build_code_table(c.type, l.data(), static_cast<uint32_t>(l.size()), &next, &bits, work), c.result);
    }
}

// ---- Set-up ------------------------------------------------------------------------------------

TEST(Deflate64, InitChecksVersionSizeAndArguments)
{
    uint8_t window[16];
    z_stream z{};
    EXPECT_EQ(deflate64_init(&z, window, "2.0", sizeof(z_stream)), -6);
    EXPECT_EQ(deflate64_init(&z, window, nullptr, sizeof(z_stream)), -6);
    EXPECT_EQ(deflate64_init(&z, window, "1.3.1", sizeof(z_stream) - 8), -6);
    EXPECT_EQ(deflate64_init(&z, nullptr, "1.3.1", sizeof(z_stream)), -2);
    EXPECT_EQ(deflate64_init(nullptr, window, "1.3.1", sizeof(z_stream)), -2);
    EXPECT_EQ(deflate64_decode(&z, ChunkInput::read, nullptr, Collector::write, nullptr), -2);
    EXPECT_EQ(deflate64_end(&z), -2);
    EXPECT_EQ(deflate64_end(nullptr), -2);

    // The caller's memory functions are used when given.
    struct Counts { int allocs = 0, frees = 0; } counts;
    z.zalloc = [](voidpf opaque, uInt items, uInt size) -> voidpf {
        ++static_cast<Counts*>(opaque)->allocs;
        return calloc(items, size);
    };
    z.zfree = [](voidpf opaque, voidpf p) { ++static_cast<Counts*>(opaque)->frees; free(p); };
    z.opaque = &counts;
    z.msg = const_cast<char*>("left over");
    ASSERT_EQ(deflate64_init(&z, window, "1.2.13", sizeof(z_stream)), 0);
    EXPECT_EQ(z.msg, nullptr);
    EXPECT_EQ(deflate64_end(&z), 0);
    EXPECT_EQ(z.state, nullptr);
    EXPECT_EQ(counts.allocs, 1);
    EXPECT_EQ(counts.frees, 1);
}

// ---- zlib's Deflate streams ------------------------------------------------------------------

std::string zlib_deflate(const std::string& data, int level, int strategy)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string zlib_inflate(const std::string& stream, size_t size)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    std::string out(size, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    inflateEnd(&z);
    return out;
}

// Deflate64 differs from Deflate only in what it adds, except for length symbol 285 (258 in
// Deflate, 3 + 16 extra bits here): Deflate streams without matches of 258 bytes decode the same.
// The data below has no repeat that long.
TEST(Deflate64, DeflateStreamsDecodeAsZlibDecodesThem)
{
    std::string mixed = text_bytes(300000, 7);
    for (size_t i = 0; i < mixed.size(); i += 20000) mixed.replace(i, 3000, random_bytes(3000, static_cast<uint32_t>(i)));
    std::string runs;
    for (uint32_t i = 0; runs.size() < 200000; ++i) runs += std::string(i % 120 + 1, static_cast<char>('a' + i % 7));
    const std::pair<const char*, std::string> data[] = {
        {"text", text_bytes(400000, 8)},
        {"random", random_bytes(200000, 9)},
        {"mixed", mixed},
        {"short runs", runs},
    };
    const std::pair<int, int> settings[] = {{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY},
                                            {9, Z_DEFAULT_STRATEGY}, {6, Z_FILTERED},         {6, Z_HUFFMAN_ONLY},
                                            {6, Z_RLE},              {6, Z_FIXED}};
    for (const auto& [name, bytes] : data) {
        for (const auto& [level, strategy] : settings) {
            const std::string stream = zlib_deflate(bytes, level, strategy);
            ASSERT_TRUE(zlib_inflate(stream, bytes.size()) == bytes);
            for (size_t chunk : {size_t{7}, size_t{1} << 20}) {
                const Decoded d = decode(stream, chunk, chunk == 7 ? 5 : stream.size());
                ASSERT_EQ(d.code, 1) << name << " level " << level << " strategy " << strategy << ": " << d.msg;
                EXPECT_TRUE(d.out == bytes) << name << " level " << level << " strategy " << strategy;
            }
        }
    }
    const std::string small = zlib_deflate(text_bytes(30000, 3), 9, Z_DEFAULT_STRATEGY);
    EXPECT_TRUE(decode(small, 1).out == text_bytes(30000, 3));
}

TEST(Deflate64, UnusedInputIsLeftInNextIn)
{
    // The fast loop reads ahead; the bytes that follow the stream must be handed back exactly.
    const std::string data = text_bytes(200000, 6) + random_bytes(5000, 6);
    BitWriter w;
    fixed_block(w, true, literals(data.substr(0, 3000)));
    const std::string trailing = "TRAILING BYTES THAT ARE NOT PART OF THE STREAM, 64 BYTES LONG....";
    for (const std::string& s : {w.finish(), zlib_deflate(data, 6, Z_DEFAULT_STRATEGY), zlib_deflate(data, 0, 0)}) {
        const Decoded d = decode(s + trailing, 1 << 20, s.size() + trailing.size());
        ASSERT_EQ(d.code, 1) << d.msg;
        EXPECT_EQ(d.availIn, trailing.size());
        EXPECT_EQ(d.consumed, s.size());
    }
}

// ---- Archives made by 7zz --------------------------------------------------------------------

namespace fs = std::filesystem;

struct TempFolder {
    fs::path path;
    TempFolder()
    {
        char name[] = "/tmp/deflate64_test_XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(path); }
};

void write_file(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

uint32_t u16(const std::string& s, size_t at) { return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8; }
uint32_t u32(const std::string& s, size_t at) { return u16(s, at) | u16(s, at + 2) << 16; }

// The compressed data of the archive's only entry, located through its central header.
std::string entry_data(const std::string& zip, uint32_t* method)
{
    const size_t endRecord = zip.rfind(std::string("PK\5\6", 4));
    if (endRecord == std::string::npos)
        return "";
    const size_t central = u32(zip, endRecord + 16);
    *method = u16(zip, central + 10);
    const uint32_t size = u32(zip, central + 20);
    const size_t local = u32(zip, central + 42);
    const size_t data = local + 30 + u16(zip, local + 26) + u16(zip, local + 28);
    return zip.substr(data, size);
}

// Compresses data into a Deflate64 archive with 7zz and returns the entry's compressed bytes.
std::string seven_zip_deflate64(const TempFolder& dir, const std::string& data, int level)
{
    const fs::path file = dir.path / "data.bin", zip = dir.path / "a.zip";
    fs::remove(zip);
    write_file(file, data);
    const std::string command = "cd '" + dir.path.string() + "' && 7zz a -tzip -mm=Deflate64 -mx=" +
                                std::to_string(level) + " -mmt=1 a.zip data.bin >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    uint32_t method = 0;
    const std::string compressed = entry_data(read_file(zip), &method);
    EXPECT_EQ(method, 9u);
    return compressed;
}

TEST(Deflate64, ArchivesOf7zzRoundTrip)
{
    if (std::system("7zz >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "7zz is not installed";
    TempFolder dir;
    std::string runs = std::string(200000, 'r') + random_bytes(65536, 11);
    runs += runs.substr(200000) + std::string(140000, '\0') + runs.substr(200000, 65536);
    const std::string text = text_bytes(3000000, 12);
    std::string mixed = text.substr(0, 1500000);
    for (size_t i = 0; i < mixed.size(); i += 100000) mixed.replace(i, 20000, random_bytes(20000, uint32_t(i)));
    struct Sample { const char* name; std::string bytes; std::vector<int> levels; std::vector<size_t> chunks; };
    // 7zz stores what it cannot shrink (files of 0 or 1 byte, random data alone): the random
    // sample carries some text so that it is compressed, its random parts as stored blocks.
    const Sample samples[] = {
        {"a short run", std::string(46, 'x'), {5}, {1, 7}},
        {"65535 bytes", text.substr(0, 65535), {1, 9}, {1, 7, 1 << 20}},
        {"65536 bytes", text.substr(0, 65536), {5}, {1, 7, 1 << 20}},
        {"65537 bytes", text.substr(1, 65537), {5}, {1, 7, 1 << 20}},
        {"text", text, {1, 5, 9}, {7, 1 << 20}},
        {"random", random_bytes(1000000, 14) + text.substr(0, 300000), {5}, {7, 1 << 20}},
        {"long runs and 64 KiB distances", runs, {5, 9}, {1, 7, 1 << 20}},
        {"mixed", mixed, {9}, {7, 1 << 20}},
    };
    for (const Sample& s : samples) {
        for (int level : s.levels) {
            const std::string stream = seven_zip_deflate64(dir, s.bytes, level);
            for (size_t chunk : s.chunks) {
                const Decoded d = decode(stream, chunk);
                ASSERT_EQ(d.code, 1) << s.name << " -mx=" << level << " chunks of " << chunk << ": " << d.msg;
                EXPECT_TRUE(d.out == s.bytes) << s.name << " -mx=" << level << " chunks of " << chunk;
                EXPECT_EQ(d.calls.size(), (s.bytes.size() + 65535) / 65536) << s.name;
            }
        }
    }
}

// A file of a few hundred MB; run with VARNO_LONG_TESTS=1.
TEST(Deflate64, LargeArchiveOf7zzRoundTrips)
{
    if (getenv("VARNO_LONG_TESTS") == nullptr)
        GTEST_SKIP() << "set VARNO_LONG_TESTS=1 to run";
    TempFolder dir;
    std::string data;
    data.reserve(320u << 20);
    for (uint32_t part = 0; data.size() < (320u << 20); ++part)
        data += (part % 3 == 2) ? random_bytes(1 << 20, part) : text_bytes(4 << 20, part);
    const std::string stream = seven_zip_deflate64(dir, data, 5);
    const Decoded d = decode(stream, 1 << 20);
    ASSERT_EQ(d.code, 1) << d.msg;
    EXPECT_TRUE(d.out == data);
}

}  // namespace
