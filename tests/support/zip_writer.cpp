#include "zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace ziptest {

void put16(std::string& out, uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put64(std::string& out, uint64_t v)
{
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}

std::string extra_record(uint16_t tag, const std::string& data)
{
    std::string out;
    put16(out, tag);
    put16(out, static_cast<uint32_t>(data.size()));
    return out + data;
}

std::string deflate_raw(const std::string& data, int level)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string stored_blocks(const std::string& data)
{
    std::string out;
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(data.size() - at, 65535);
        out.push_back(at + n == data.size() ? 1 : 0);
        put16(out, static_cast<uint32_t>(n));
        put16(out, static_cast<uint32_t>(~n & 0xFFFF));
        out += data.substr(at, n);
        at += n;
    } while (at < data.size());
    return out;
}

uint32_t crc32_of(const std::string& data)
{
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string encrypt_traditional(const std::string& password, const std::string& header, const std::string& data)
{
    uint32_t keys[3] = {0x12345678, 0x23456789, 0x34567890};
    auto step = [](uint32_t c, uint8_t b) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        return c;
    };
    auto update = [&](uint8_t p) {
        keys[0] = step(keys[0], p);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = step(keys[2], static_cast<uint8_t>(keys[1] >> 24));
    };
    for (char c : password)
        update(static_cast<uint8_t>(c));
    std::string out = header + data;
    for (char& c : out) {
        const uint32_t t = (keys[2] & 0xFFFF) | 2;
        const uint8_t plain = static_cast<uint8_t>(c);
        c = static_cast<char>(plain ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8));
        update(plain);
    }
    return out;
}

namespace {

struct Written {
    uint64_t offset;
    std::string zip64Extra;
    uint32_t compressedField, uncompressedField, offsetField;
    uint64_t compressedSize;
    uint16_t flags;
};

}  // namespace

std::string build_zip(const std::vector<Entry>& entries, const ArchiveOptions& options)
{
    std::string out = options.prefix;
    const uint64_t base = options.offsetsIncludePrefix ? 0 : options.prefix.size();
    std::vector<Written> written;
    for (const Entry& e : entries) {
        std::string data = e.compressed ? *e.compressed : (e.method == 8 ? deflate_raw(e.data) : e.data);
        const uint16_t flags = (e.password ? e.flags | 1 : e.flags) | (e.dataDescriptor ? 8 : 0);
        if (e.password) {
            const uint32_t entryCrc = e.crc ? *e.crc : crc32_of(e.data);
            std::string header = "0123456789a";
            header += static_cast<char>((flags & 8) ? e.dosTime >> 8 : entryCrc >> 24);
            data = encrypt_traditional(*e.password, header, data);
        }
        Written w{};
        w.flags = flags;
        w.offset = out.size() - base;
        w.compressedSize = data.size();
        const uint32_t crc = e.crc ? *e.crc : crc32_of(e.data);
        w.compressedField = static_cast<uint32_t>(data.size());
        w.uncompressedField = static_cast<uint32_t>(e.data.size());
        w.offsetField = static_cast<uint32_t>(w.offset);
        if (e.zip64) {
            std::string z;
            put64(z, e.zip64UncompressedSize ? *e.zip64UncompressedSize : e.data.size());
            put64(z, e.zip64CompressedSize ? *e.zip64CompressedSize : data.size());
            put64(z, e.zip64LocalHeaderOffset ? *e.zip64LocalHeaderOffset : w.offset);
            w.zip64Extra = extra_record(0x0001, z);
            w.compressedField = w.uncompressedField = w.offsetField = 0xFFFFFFFF;
        }
        if (e.compressedSizeField)
            w.compressedField = *e.compressedSizeField;
        if (e.uncompressedSizeField)
            w.uncompressedField = *e.uncompressedSizeField;
        if (e.localHeaderOffsetField)
            w.offsetField = *e.localHeaderOffsetField;

        const std::string localZip64 = e.dataDescriptor && e.zip64 ? extra_record(0x0001, std::string(24, '\0')) : w.zip64Extra;
        const std::string localExtra = localZip64 + (e.localExtra ? *e.localExtra : e.centralExtra);
        put32(out, 0x04034b50);
        put16(out, e.versionNeeded);
        put16(out, flags);
        put16(out, e.method);
        put16(out, e.dosTime);
        put16(out, e.dosDate);
        put32(out, e.dataDescriptor ? 0 : crc);
        put32(out, e.dataDescriptor ? 0 : w.compressedField);
        put32(out, e.dataDescriptor ? 0 : w.uncompressedField);
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, static_cast<uint32_t>(localExtra.size()));
        out += e.name;
        out += localExtra;
        out += data;
        if (e.dataDescriptor) {
            put32(out, 0x08074b50);
            put32(out, crc);
            if (e.zip64) {
                put64(out, data.size());
                put64(out, e.data.size());
            } else {
                put32(out, static_cast<uint32_t>(data.size()));
                put32(out, static_cast<uint32_t>(e.data.size()));
            }
        }
        written.push_back(w);
    }

    const uint64_t cdOffset = out.size() - base;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const Written& w = written[i];
        const std::string extra = w.zip64Extra + e.centralExtra;
        put32(out, 0x02014b50);
        put16(out, e.versionMadeBy);
        put16(out, e.versionNeeded);
        put16(out, w.flags);
        put16(out, e.method);
        put16(out, e.dosTime);
        put16(out, e.dosDate);
        put32(out, e.crc ? *e.crc : crc32_of(e.data));
        put32(out, w.compressedField);
        put32(out, w.uncompressedField);
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, static_cast<uint32_t>(extra.size()));
        put16(out, static_cast<uint32_t>(e.comment.size()));
        put16(out, 0);
        put16(out, e.internalAttributes);
        put32(out, e.externalAttributes);
        put32(out, w.offsetField);
        out += e.name;
        out += extra;
        out += e.comment;
    }
    const uint64_t cdSize = out.size() - base - cdOffset;
    const uint64_t count = options.zip64EntryCount ? *options.zip64EntryCount : entries.size();

    if (options.zip64EndRecords) {
        const uint64_t recordOffset = out.size() - base;
        put32(out, 0x06064b50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, count);
        put64(out, count);
        put64(out, cdSize);
        put64(out, cdOffset);
        put32(out, 0x07064b50);
        put32(out, 0);
        put64(out, recordOffset);
        put32(out, 1);
    }
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    const uint32_t count16 = count > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(count);
    put16(out, options.entryCountField ? *options.entryCountField : count16);
    put16(out, options.entryCountField ? *options.entryCountField : count16);
    put32(out, options.cdSizeField ? *options.cdSizeField
                                   : (options.zip64EndRecords ? 0xFFFFFFFF : static_cast<uint32_t>(cdSize)));
    put32(out, options.cdOffsetField ? *options.cdOffsetField
                                     : (options.zip64EndRecords ? 0xFFFFFFFF : static_cast<uint32_t>(cdOffset)));
    put16(out, static_cast<uint32_t>(options.comment.size()));
    out += options.comment;
    out += options.suffix;
    return out;
}

}  // namespace ziptest
