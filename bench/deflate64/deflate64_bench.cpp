// Decoding speed of the Deflate64 decoder beside zlib's inflate (on Deflate archives of the same
// data) and beside 7zz testing the Deflate64 archives in one thread, in one run, as medians.
//
// deflate64_bench [--runs N] [--no-7zz] DIR NAME...: for each NAME, DIR holds NAME.bin (the
// data), NAME.d64.zip (a Deflate64 archive of it) and NAME.def.zip (a Deflate archive of it).
// --no-7zz leaves 7zz out, for quick comparisons while working on the decoder.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "codec/deflate64.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        exit(2);
    }
    return std::string(std::istreambuf_iterator<char>(f), {});
}

uint32_t u16(const std::string& s, size_t at) { return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8; }
uint32_t u32(const std::string& s, size_t at) { return u16(s, at) | u16(s, at + 2) << 16; }

// The compressed bytes of the archive's first entry, through its central header.
std::string entry_data(const std::string& zip, uint32_t wantMethod, const std::string& path)
{
    const size_t endRecord = zip.rfind(std::string("PK\5\6", 4));
    if (endRecord == std::string::npos || endRecord + 22 > zip.size()) {
        fprintf(stderr, "%s: no end record\n", path.c_str());
        exit(2);
    }
    const size_t central = u32(zip, endRecord + 16);
    const uint32_t method = u16(zip, central + 10);
    if (method != wantMethod) {
        fprintf(stderr, "%s: method %u, not %u\n", path.c_str(), method, wantMethod);
        exit(2);
    }
    const size_t local = u32(zip, central + 42);
    return zip.substr(local + 30 + u16(zip, local + 26) + u16(zip, local + 28), u32(zip, central + 20));
}

// Input in 1 MiB pieces, as the extraction pipeline reads it.
struct MemoryInput {
    const std::string* data;
    size_t pos;
    static uint32_t read(void* d, uint8_t** next)
    {
        auto* self = static_cast<MemoryInput*>(d);
        const size_t n = std::min<size_t>(1 << 20, self->data->size() - self->pos);
        *next = reinterpret_cast<uint8_t*>(const_cast<char*>(self->data->data())) + self->pos;
        self->pos += n;
        return static_cast<uint32_t>(n);
    }
};

struct Sink {
    uint64_t total;
    uint32_t crc;
    bool keepCrc;
    static int write(void* d, uint8_t* data, uint32_t n)
    {
        auto* self = static_cast<Sink*>(d);
        self->total += n;
        if (self->keepCrc)
            self->crc = static_cast<uint32_t>(crc32(self->crc, data, n));
        return 0;
    }
};

std::vector<uint8_t> g_window(kDeflate64WindowSize);
std::vector<uint8_t> g_out(1 << 20);

// Decodes with our decoder; returns the bytes produced (and the CRC when asked).
uint64_t run_deflate64(const std::string& stream, bool crc, uint32_t* crcOut)
{
    z_stream z{};
    if (deflate64_init(&z, g_window.data(), "1.3.1", sizeof(z_stream)) != 0)
        exit(3);
    MemoryInput in{&stream, 0};
    Sink sink{0, 0, crc};
    const int r = deflate64_decode(&z, MemoryInput::read, &in, Sink::write, &sink);
    deflate64_end(&z);
    if (r != 1) {
        fprintf(stderr, "deflate64_decode: %d %s\n", r, z.msg ? z.msg : "");
        exit(3);
    }
    if (crcOut)
        *crcOut = sink.crc;
    return sink.total;
}

// Inflates with zlib: input in 1 MiB pieces, output 1 MiB at a time.
uint64_t run_inflate(const std::string& stream, bool crc, uint32_t* crcOut)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        exit(3);
    uint64_t total = 0;
    uint32_t c = 0;
    size_t pos = 0;
    int r = Z_OK;
    while (r != Z_STREAM_END) {
        if (z.avail_in == 0 && pos < stream.size()) {
            const size_t n = std::min<size_t>(1 << 20, stream.size() - pos);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data())) + pos;
            z.avail_in = static_cast<uInt>(n);
            pos += n;
        }
        z.next_out = g_out.data();
        z.avail_out = static_cast<uInt>(g_out.size());
        r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END) {
            fprintf(stderr, "inflate: %d\n", r);
            exit(3);
        }
        const size_t produced = g_out.size() - z.avail_out;
        total += produced;
        if (crc)
            c = static_cast<uint32_t>(crc32(c, g_out.data(), static_cast<uInt>(produced)));
    }
    inflateEnd(&z);
    if (crcOut)
        *crcOut = c;
    return total;
}

double seconds_of(const Clock::time_point& start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    bool with7zz = true;
    int arg = 1;
    for (;;) {
        if (arg + 1 < argc && strcmp(argv[arg], "--runs") == 0) {
            runs = atoi(argv[arg + 1]);
            arg += 2;
        } else if (arg < argc && strcmp(argv[arg], "--no-7zz") == 0) {
            with7zz = false;
            ++arg;
        } else {
            break;
        }
    }
    if (argc - arg < 2 || runs < 1) {
        fprintf(stderr, "usage: deflate64_bench [--runs N] [--no-7zz] DIR NAME...\n");
        return 2;
    }
    const std::string dir = argv[arg++];
    printf("%d runs each, medians; MB = 10^6 bytes of decoded output per second\n", runs);
    printf("%-8s %9s %10s %10s | %10s %10s %10s | %9s %9s\n", "data", "size MB", "d64 MB", "deflate MB",
           "ours MB/s", "zlib MB/s", "7zz MB/s", "ours/zlib", "ours/7zz");
    double allSize = 0, allOurs = 0, allZlib = 0, all7zz = 0;
    for (; arg < argc; ++arg) {
        const std::string name = argv[arg];
        const std::string original = read_file(dir + "/" + name + ".bin");
        const std::string d64Path = dir + "/" + name + ".d64.zip";
        const std::string d64 = entry_data(read_file(d64Path), 9, d64Path);
        const std::string defPath = dir + "/" + name + ".def.zip";
        const std::string def = entry_data(read_file(defPath), 8, defPath);
        const uint32_t want = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(original.data()), static_cast<uInt>(original.size())));
        uint32_t got = 0;
        if (run_deflate64(d64, true, &got) != original.size() || got != want) {
            fprintf(stderr, "%s: Deflate64 output differs\n", name.c_str());
            return 4;
        }
        if (run_inflate(def, true, &got) != original.size() || got != want) {
            fprintf(stderr, "%s: Deflate output differs\n", name.c_str());
            return 4;
        }
        const std::string command = "7zz t -mmt=1 '" + d64Path + "' >/dev/null 2>&1";
        std::vector<double> ours, zlib, seven;
        for (int r = 0; r < runs; ++r) {
            Clock::time_point t = Clock::now();
            run_deflate64(d64, false, nullptr);
            ours.push_back(seconds_of(t));
            t = Clock::now();
            run_inflate(def, false, nullptr);
            zlib.push_back(seconds_of(t));
            if (!with7zz)
                continue;
            t = Clock::now();
            if (system(command.c_str()) != 0) {
                fprintf(stderr, "%s failed\n", command.c_str());
                return 5;
            }
            seven.push_back(seconds_of(t));
        }
        const double size = original.size() / 1e6;
        const double o = median(ours), z = median(zlib), s = with7zz ? median(seven) : 0;
        printf("%-8s %9.1f %10.1f %10.1f | %10.1f %10.1f %10.1f | %9.2f %9.2f\n", name.c_str(), size, d64.size() / 1e6,
               def.size() / 1e6, size / o, size / z, size / s, z / o, s / o);
        allSize += size;
        allOurs += o;
        allZlib += z;
        all7zz += s;
    }
    printf("%-8s %9.1f %10s %10s | %10.1f %10.1f %10.1f | %9.2f %9.2f\n", "all", allSize, "", "", allSize / allOurs,
           allSize / allZlib, allSize / all7zz, allZlib / allOurs, all7zz / allOurs);
    if (with7zz)
        printf("7zz: wall time of the whole `7zz t -mmt=1` process (start, reading, CRC), nothing subtracted\n");
    fflush(stdout);
    return 0;
}
