#include "archive/local_header_walk.h"

#include <stdlib.h>
#include <string.h>

#include "archive/zip_format.h"
#include "codec/crc32.h"
#include "codec/decoder.h"

namespace {

constexpr uint32_t kChunkSize = 256u << 10;  // read at once while scanning or decoding
constexpr uint32_t kLongestDescriptor = 24;  // signature, CRC-32 and two 64-bit sizes
constexpr uint32_t kDecoderBufferSize = 256u << 10;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kMostSections = 96;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kLongestExtra = 0xFFFF;
constexpr uint32_t kFull = 0xFFFFFFFF;  // a 32-bit field whose value is in the ZIP64 record

inline void put_u16(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void put_u32(uint8_t* p, uint32_t value)
{
    put_u16(p, value);
    put_u16(p + 2, value >> 16);
}

bool local_header_at(ByteSource& source, uint64_t at)
{
    uint8_t signature[4];
    return source.read_at(at, signature, sizeof signature) == 4 && read_u32(signature) == kLocalHeaderSignature;
}

// The end of the sections of the executable image whose head this is: what a self-extractor's
// program occupies. 0 when it is no image with a readable section table.
uint64_t image_end(ByteSource& source, const uint8_t* head, int64_t headLength)
{
    if (headLength < 64 || head[0] != 'M' || head[1] != 'Z')
        return 0;
    const uint64_t pe = read_u32(head + 0x3C);
    uint8_t fileHeader[24];
    if (source.read_at(pe, fileHeader, sizeof fileHeader) != sizeof fileHeader || read_u32(fileHeader) != kPeSignature)
        return 0;
    const uint32_t sections = read_u16(fileHeader + 6);
    if (sections > kMostSections)
        return 0;
    const uint64_t table = pe + sizeof fileHeader + read_u16(fileHeader + 20);
    uint64_t end = table + sections * kSectionHeaderSize;
    for (uint32_t i = 0; i < sections; ++i) {
        uint8_t section[kSectionHeaderSize];
        if (source.read_at(table + i * kSectionHeaderSize, section, sizeof section) != sizeof section)
            return 0;
        const uint64_t sectionEnd = static_cast<uint64_t>(read_u32(section + 20)) + read_u32(section + 16);
        if (sectionEnd > end)
            end = sectionEnd;
    }
    return end;
}

// The first local header signature from `from` on, within kStubTailReach.
bool find_local_signature(ByteSource& source, uint64_t from, uint64_t* start)
{
    uint8_t chunk[4096];
    for (uint64_t at = from; at - from < kStubTailReach;) {
        const uint64_t left = kStubTailReach - (at - from) + 3;
        const int64_t got = source.read_at(at, chunk, left < sizeof chunk ? static_cast<uint32_t>(left) : sizeof chunk);
        if (got < 4)
            return false;
        for (uint32_t i = 0; i + 4 <= got; ++i) {
            if (read_u32(chunk + i) == kLocalHeaderSignature) {
                *start = at + i;
                return true;
            }
        }
        at += static_cast<uint64_t>(got) - 3;
    }
    return false;
}

// A data descriptor: its length in the file and the values it records.
struct Descriptor {
    uint32_t length;
    uint32_t crc;
    uint64_t uncompressed;
};

// The data descriptor at `at` (available bytes) behind `compressed` bytes of data, in the first
// of its forms whose compressed size is that (and whose uncompressed size is *uncompressed, when
// given): with its signature or, unless signedOnly, without; with 64-bit sizes first when
// wideFirst (the local header has a ZIP64 record), else 32-bit sizes first.
bool match_descriptor(const uint8_t* at, uint64_t available, bool signedOnly, bool wideFirst, uint64_t compressed,
                      const uint64_t* uncompressed, Descriptor* d)
{
    const uint32_t signatures[] = {4, 0};
    const bool widths[] = {wideFirst, !wideFirst};
    for (const uint32_t signature : signatures) {
        if (signature ? available < 4 || read_u32(at) != kDataDescriptorSignature : signedOnly)
            continue;
        const uint8_t* fields = at + signature;
        for (const bool wide : widths) {
            const uint32_t length = signature + (wide ? 20 : 12);
            if (available < length)
                continue;
            const uint64_t c = wide ? read_u64(fields + 4) : read_u32(fields + 4);
            const uint64_t u = wide ? read_u64(fields + 12) : read_u32(fields + 8);
            if (c == compressed && (!uncompressed || u == *uncompressed)) {
                *d = {length, read_u32(fields), u};
                return true;
            }
        }
    }
    return false;
}

// The values of one local header, and where its entry ends once found.
struct LocalEntry {
    uint64_t offset;  // of the local header
    uint8_t header[kLocalHeaderSize];
    const uint8_t* name;   // followed by the part of the extra field that lies in the file
    uint32_t extraLength;  // that part's length
    bool hasZip64;         // the extra field holds a ZIP64 record
    uint32_t crc;
    uint64_t compressed;
    uint64_t uncompressed;
};

// The part of a file from `next` to `end`, as a decoder's input in chunks.
struct FileInput {
    ByteSource* source;
    uint64_t next;
    uint64_t end;
    uint8_t* chunk;
    uint64_t delivered;
    bool failed;

    static uint32_t pull(void* descriptor, uint8_t** out)
    {
        FileInput* input = static_cast<FileInput*>(descriptor);
        const uint64_t left = input->end - input->next;
        const int64_t got = input->source->read_at(input->next, input->chunk, left < kChunkSize ? static_cast<uint32_t>(left) : kChunkSize);
        if (got <= 0) {
            input->failed = got < 0;
            return 0;
        }
        input->next += static_cast<uint64_t>(got);
        input->delivered += static_cast<uint64_t>(got);
        *out = input->chunk;
        return static_cast<uint32_t>(got);
    }
};

// What the walk lets a stream expand to while it looks for the stream's end: about Deflate's
// largest ratio to the bytes read so far, and 64 MiB in all. A stream that goes further (a bomb,
// or a large entry of another method) is not decoded on: its end is looked for by its descriptor.
struct DecodeBudget {
    const FileInput* input;
    uint64_t produced;
    bool exceeded;
};

int count_output(void* descriptor, uint8_t*, uint32_t count)
{
    DecodeBudget* budget = static_cast<DecodeBudget*>(descriptor);
    budget->produced += count;
    const uint64_t allowed = 1100 * budget->input->delivered + (1u << 20);
    budget->exceeded = budget->produced > (allowed < (64u << 20) ? allowed : (64u << 20));
    return budget->exceeded ? 1 : 0;
}

class Walk {
public:
    Walk(ByteSource& source, uint64_t fileSize) : source_(source), fileSize_(fileSize) {}
    ~Walk()
    {
        free(fields_);
        free(chunk_);
        free(decoderBuffer_);
        free(headers_);
    }
    RebuildResult run(uint64_t start, RebuiltDirectory* out);

private:
    enum class Read { failed, none, partial, whole };
    enum class End { found, notFound, failed, tooCostly };

    Read read_entry(uint64_t at, LocalEntry* e);
    End find_end(LocalEntry* e, uint64_t* next);
    End decode_to_end(const EntryDecoder* decoder, uint64_t dataStart, LocalEntry* e, uint64_t* next);
    End scan_for_descriptor(uint64_t dataStart, bool plainStored, LocalEntry* e, uint64_t* next);
    bool append(const LocalEntry& e);

    ByteSource& source_;
    const uint64_t fileSize_;
    uint8_t* fields_ = nullptr;  // a local header's name and extra field
    uint8_t* chunk_ = nullptr;   // kChunkSize + kLongestDescriptor bytes of the file
    uint8_t* decoderBuffer_ = nullptr;
    uint8_t* headers_ = nullptr;
    uint64_t size_ = 0;
    uint64_t capacity_ = 0;
    uint32_t count_ = 0;
};

Walk::Read Walk::read_entry(uint64_t at, LocalEntry* e)
{
    const int64_t got = source_.read_at(at, e->header, kLocalHeaderSize);
    if (got < 0)
        return Read::failed;
    const uint8_t* h = e->header;
    // Masked headers hide their values: the directory of such an archive is encrypted.
    if (got < kLocalHeaderSize || read_u32(h) != kLocalHeaderSignature || (read_u16(h + local::flags) & kFlagMaskedHeaders))
        return Read::none;
    const uint32_t nameLength = read_u16(h + local::nameLength);
    const uint32_t extraLength = read_u16(h + local::extraLength);
    const int64_t fields = source_.read_at(at + kLocalHeaderSize, fields_, nameLength + extraLength);
    if (fields < 0)
        return Read::failed;
    if (fields < nameLength)
        return Read::none;
    e->offset = at;
    e->name = fields_;
    e->extraLength = static_cast<uint32_t>(fields) - nameLength;
    e->crc = read_u32(h + local::crc32);
    e->compressed = read_u32(h + local::compressedSize);
    e->uncompressed = read_u32(h + local::uncompressedSize);
    e->hasZip64 = false;
    // The ZIP64 record holds the values whose fields are full, in this order.
    const uint8_t* extra = fields_ + nameLength;
    for (uint32_t x = 0; e->extraLength - x >= 4;) {
        const uint32_t size = read_u16(extra + x + 2);
        if (size > e->extraLength - x - 4)
            break;
        if (read_u16(extra + x) == kZip64ExtraTag) {
            e->hasZip64 = true;
            uint32_t v = 0;
            uint64_t* const values[] = {&e->uncompressed, &e->compressed};
            for (uint64_t* value : values) {
                if (*value == kFull && size - v >= 8) {
                    *value = read_u64(extra + x + 4 + v);
                    v += 8;
                }
            }
        }
        x += 4 + size;
    }
    return e->extraLength == extraLength ? Read::whole : Read::partial;
}

Walk::End Walk::find_end(LocalEntry* e, uint64_t* next)
{
    const uint16_t flags = read_u16(e->header + local::flags);
    const uint16_t method = read_u16(e->header + local::method);
    const uint64_t dataStart = e->offset + kLocalHeaderSize + read_u16(e->header + local::nameLength) + e->extraLength;
    if (!(flags & kFlagDataDescriptor)) {
        if (e->compressed > fileSize_ - dataStart)
            return End::notFound;
        *next = dataStart + e->compressed;
        return End::found;
    }
    // Stored data and those of the old methods have no end of their own, encrypted ones cannot be
    // decoded here, and a stream that expands too far is not decoded to its end: their
    // descriptors end them.
    const EntryDecoder* decoder = !(flags & kFlagEncrypted) ? find_decoder(method) : nullptr;
    if (decoder && decoder->marksItsEnd) {
        const End end = decode_to_end(decoder, dataStart, e, next);
        if (end != End::tooCostly)
            return end;
    }
    return scan_for_descriptor(dataStart, method == 0 && !(flags & kFlagEncrypted), e, next);
}

// Decodes the stream from dataStart to its end, which the descriptor behind it must confirm.
// Where it does not, another stream may follow (Zstandard frames): the decoder goes on from there
// as long as it takes more bytes.
Walk::End Walk::decode_to_end(const EntryDecoder* decoder, uint64_t dataStart, LocalEntry* e, uint64_t* next)
{
    if (!decoderBuffer_ && !(decoderBuffer_ = static_cast<uint8_t*>(malloc(kDecoderBufferSize))))
        return End::failed;
    DecoderState state;
    if (decoder->start(&state, decoderBuffer_, kDecoderBufferSize) != 0)
        return End::notFound;
    FileInput input = {&source_, dataStart, fileSize_, chunk_, 0, false};
    DecodeBudget budget = {&input, 0, false};
    uint32_t unused = 0;
    DecodeRequest request = {FileInput::pull, &input, count_output, &budget, UINT64_MAX,
                             read_u16(e->header + local::flags), WholeEntry{}};
    request.unusedInput = &unused;
    End end = End::notFound;
    for (uint64_t compressed = 0;;) {
        int status = 0;
        if (decoder->decode(&state, request, &status) != DecodeEnd::complete || input.failed ||
            input.delivered - unused == compressed)
            break;
        compressed = input.delivered - unused;
        uint8_t bytes[kLongestDescriptor];
        const int64_t got = source_.read_at(dataStart + compressed, bytes, sizeof bytes);
        if (got < 0) {
            input.failed = true;
            break;
        }
        Descriptor d;
        if (match_descriptor(bytes, static_cast<uint64_t>(got), false, e->hasZip64, compressed, &budget.produced, &d)) {
            e->crc = d.crc;
            e->compressed = compressed;
            e->uncompressed = budget.produced;
            *next = dataStart + compressed + d.length;
            end = End::found;
            break;
        }
        input.next = dataStart + compressed;
        input.delivered = compressed;
    }
    decoder->end(&state);
    return input.failed ? End::failed : budget.exceeded ? End::tooCostly : end;
}

// Looks for the first descriptor behind the data from dataStart that records their length: one
// pass over them, each descriptor signature tried once, the CRC-32 summed only as far as needed.
Walk::End Walk::scan_for_descriptor(uint64_t dataStart, bool plainStored, LocalEntry* e, uint64_t* next)
{
    uint32_t crc = 0;
    for (uint64_t base = dataStart;;) {
        const int64_t got = source_.read_at(base, chunk_, kChunkSize + kLongestDescriptor);
        if (got < 0)
            return End::failed;
        // Positions whose longest descriptor lies in this read; at the end of the file, all.
        const bool last = got < kChunkSize + kLongestDescriptor;
        const uint32_t examined = last ? static_cast<uint32_t>(got) : kChunkSize;
        uint32_t summed = 0;
        for (uint32_t i = 0; i < examined; ++i) {
            if (chunk_[i] != 'P' || got - i < 4 || read_u32(chunk_ + i) != kDataDescriptorSignature)
                continue;
            const uint64_t compressed = base + i - dataStart;
            Descriptor d;
            if (!match_descriptor(chunk_ + i, static_cast<uint64_t>(got - i), true, e->hasZip64, compressed,
                                  plainStored ? &compressed : nullptr, &d))
                continue;
            if (plainStored) {
                crc = update_crc32(crc, chunk_ + summed, i - summed);
                summed = i;
                if (d.crc != crc)
                    continue;
            }
            e->crc = d.crc;
            e->compressed = compressed;
            e->uncompressed = d.uncompressed;
            *next = base + i + d.length;
            return End::found;
        }
        if (last)
            return End::notFound;
        if (plainStored)
            crc = update_crc32(crc, chunk_ + summed, examined - summed);
        base += examined;
    }
}

// Appends the central header of the entry: its extra field is a ZIP64 record for the values
// that do not fit 32 bits, then the local records but a ZIP64 one, as many as fit.
bool Walk::append(const LocalEntry& e)
{
    const uint8_t* h = e.header;
    const uint32_t nameLength = read_u16(h + local::nameLength);
    uint8_t zip64[4 + 24];
    uint32_t zip64Size = 0;
    auto field = [&](uint64_t value) -> uint32_t {
        if (value < kFull)
            return static_cast<uint32_t>(value);
        put_u32(zip64 + 4 + zip64Size, static_cast<uint32_t>(value));
        put_u32(zip64 + 8 + zip64Size, static_cast<uint32_t>(value >> 32));
        zip64Size += 8;
        return kFull;
    };
    const uint32_t uncompressed = field(e.uncompressed);
    const uint32_t compressed = field(e.compressed);
    const uint32_t offset = field(e.offset);
    const uint32_t zip64Length = zip64Size ? 4 + zip64Size : 0;

    const uint64_t most = size_ + kCentralHeaderSize + nameLength + zip64Length + e.extraLength;
    if (most > capacity_) {
        // The directory's size is a 32-bit value.
        if (most > kFull)
            return false;
        const uint64_t doubled = 2 * capacity_ < kFull ? 2 * capacity_ : kFull;
        const uint64_t capacity = most > doubled ? most : doubled;
        uint8_t* grown = static_cast<uint8_t*>(realloc(headers_, static_cast<size_t>(capacity)));
        if (!grown)
            return false;
        headers_ = grown;
        capacity_ = capacity;
    }
    uint8_t* c = headers_ + size_;
    uint8_t* extra = c + kCentralHeaderSize + nameLength;
    uint32_t extraLength = 0;
    if (zip64Length) {
        put_u16(zip64, kZip64ExtraTag);
        put_u16(zip64 + 2, zip64Size);
        memcpy(extra, zip64, zip64Length);
        extraLength = zip64Length;
    }
    const uint8_t* local = e.name + nameLength;
    for (uint32_t x = 0; e.extraLength - x >= 4;) {
        const uint32_t record = 4 + read_u16(local + x + 2);
        if (record > e.extraLength - x || record > kLongestExtra - extraLength)
            break;
        if (read_u16(local + x) != kZip64ExtraTag) {
            memcpy(extra + extraLength, local + x, record);
            extraLength += record;
        }
        x += record;
    }
    memset(c, 0, kCentralHeaderSize);
    put_u32(c, kCentralHeaderSignature);
    c[central::versionMadeBy] = h[local::versionNeeded];
    // Needed version, flags, method, time and date lie in the same order in both headers.
    memcpy(c + central::versionNeeded, h + local::versionNeeded, central::crc32 - central::versionNeeded);
    put_u32(c + central::crc32, e.crc);
    put_u32(c + central::compressedSize, compressed);
    put_u32(c + central::uncompressedSize, uncompressed);
    put_u16(c + central::nameLength, nameLength);
    put_u16(c + central::extraLength, extraLength);
    put_u32(c + central::localHeaderOffset, offset);
    memcpy(c + kCentralHeaderSize, e.name, nameLength);
    size_ += kCentralHeaderSize + nameLength + extraLength;
    ++count_;
    return true;
}

RebuildResult Walk::run(uint64_t start, RebuiltDirectory* out)
{
    *out = RebuiltDirectory{};
    fields_ = static_cast<uint8_t*>(malloc(2 * kLongestExtra));
    chunk_ = static_cast<uint8_t*>(malloc(kChunkSize + kLongestDescriptor));
    if (!fields_ || !chunk_)
        return RebuildResult::failed;
    uint64_t cutHeader = UINT64_MAX;
    for (uint64_t at = start;;) {
        LocalEntry e;
        const Read read = read_entry(at, &e);
        if (read == Read::failed)
            return RebuildResult::failed;
        if (read == Read::none)
            break;
        uint64_t next = 0;
        const End end = read == Read::whole ? find_end(&e, &next) : End::notFound;
        if (end == End::failed)
            return RebuildResult::failed;
        const uint64_t header = size_;
        if (!append(e))
            return RebuildResult::failed;
        if (end == End::notFound) {
            cutHeader = header;
            break;
        }
        at = next;
    }
    if (count_ == 0)
        return RebuildResult::noEntries;
    out->headers = headers_;
    out->size = static_cast<uint32_t>(size_);
    out->count = count_;
    out->cutEntry = cutHeader != UINT64_MAX ? headers_ + cutHeader : nullptr;
    headers_ = nullptr;
    return RebuildResult::rebuilt;
}

}  // namespace

bool find_first_local_header(ByteSource& source, uint64_t fileSize, uint64_t* start)
{
    uint8_t head[kHeadBytes];
    const int64_t got = source.read_at(0, head, sizeof head);
    if (got < 4)
        return false;
    if (read_u32(head) == kLocalHeaderSignature) {
        *start = 0;
        return true;
    }
    if (got >= kSfxMinimumHead) {
        if (const uint32_t section = find_sfx_section(head)) {
            *start = read_u32(head + section + 20);
            return *start < fileSize && local_header_at(source, *start);
        }
    }
    const uint64_t end = image_end(source, head, got);
    return end != 0 && find_local_signature(source, end, start);
}

RebuildResult rebuild_central_directory(ByteSource& source, uint64_t fileSize, uint64_t start, RebuiltDirectory* out)
{
    Walk walk(source, fileSize);
    return walk.run(start, out);
}
