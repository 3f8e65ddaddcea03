// Decoding speed of the Shrink, Reduce and Implode decoders on the samples (one small entry
// each), through the decoder interface in memory, beside `7zz t -mmt=1` on an archive of 1,000
// copies of the same entry (for Shrink and Implode; no tool here reads Reduce), in one run.
//
// legacy_bench RUNS SAMPLE.zip COPIES.zip ...: pairs of a sample and its 1,000 copies, COPIES
// given as - where no tool reads the method. Prints medians of RUNS runs.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/decoder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCopies = 1000;

std::string read_file(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        fprintf(stderr, "cannot read %s\n", path);
        exit(2);
    }
    return std::string(std::istreambuf_iterator<char>(f), {});
}

uint32_t u16(const std::string& s, size_t at) { return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8; }
uint32_t u32(const std::string& s, size_t at) { return u16(s, at) | u16(s, at + 2) << 16; }

struct Sample {
    uint16_t method, flags;
    uint32_t size;
    std::string stream;
};

// The archive's first entry, from its local header.
Sample first_entry(const std::string& zip)
{
    const size_t data = 30 + u16(zip, 26) + u16(zip, 28);
    return {static_cast<uint16_t>(u16(zip, 8)), static_cast<uint16_t>(u16(zip, 6)), u32(zip, 22),
            zip.substr(data, u32(zip, 18))};
}

// Decodes the sample kCopies times; false if any decoding was not whole.
bool decode_copies(const Sample& s, std::vector<uint8_t>& buffer)
{
    const EntryDecoder* decoder = find_decoder(s.method);
    for (int copy = 0; copy < kCopies; ++copy) {
        DecoderState state;
        if (decoder->start(&state, buffer.data(), static_cast<uint32_t>(buffer.size())) != 0)
            return false;
        const std::string* stream = &s.stream;
        bool given = false;
        const auto input = [](void* d, uint8_t** next) -> uint32_t {
            auto* self = static_cast<std::pair<const std::string*, bool*>*>(d);
            if (*self->second)
                return 0;
            *self->second = true;
            *next = reinterpret_cast<uint8_t*>(const_cast<char*>(self->first->data()));
            return static_cast<uint32_t>(self->first->size());
        };
        std::pair<const std::string*, bool*> in{stream, &given};
        uint64_t total = 0;
        const auto output = [](void* d, uint8_t*, uint32_t count) -> int {
            *static_cast<uint64_t*>(d) += count;
            return 0;
        };
        int status = 0;
        const DecodeEnd end = decoder->decode(&state, {input, &in, output, &total, s.size, s.flags, {}}, &status);
        decoder->end(&state);
        if (end != DecodeEnd::complete || total != s.size)
            return false;
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc % 2 != 0 || atoi(argv[1]) < 1) {
        fprintf(stderr, "usage: legacy_bench RUNS SAMPLE.zip COPIES.zip|- ...\n");
        return 2;
    }
    const int runs = atoi(argv[1]);
    std::vector<uint8_t> buffer(1 << 20);  // the pipeline's decoder buffer
    printf("%d runs, medians of %d decodings of the sample (MB: 10^6 bytes of output)\n", runs, kCopies);
    printf("%-14s %6s %8s %9s %10s %9s\n", "sample", "method", "bytes", "us/entry", "ours MB/s", "7zz MB/s");
    for (int arg = 2; arg < argc; arg += 2) {
        const Sample s = first_entry(read_file(argv[arg]));
        const std::string copies = argv[arg + 1];
        const std::string command = "7zz t -mmt=1 '" + copies + "' >/dev/null 2>&1";
        std::vector<double> ours, seven;
        for (int r = 0; r < runs; ++r) {
            Clock::time_point t = Clock::now();
            if (!decode_copies(s, buffer)) {
                fprintf(stderr, "%s does not decode whole\n", argv[arg]);
                return 3;
            }
            ours.push_back(std::chrono::duration<double>(Clock::now() - t).count());
            if (copies == "-")
                continue;
            t = Clock::now();
            if (system(command.c_str()) != 0) {
                fprintf(stderr, "%s failed\n", command.c_str());
                return 4;
            }
            seven.push_back(std::chrono::duration<double>(Clock::now() - t).count());
        }
        const double bytes = static_cast<double>(s.size) * kCopies;
        const double o = median(ours);
        const std::string name = std::string(argv[arg]).substr(std::string(argv[arg]).rfind('/') + 1);
        printf("%-14s %6u %8u %9.1f %10.1f", name.c_str(), s.method, s.size, o / kCopies * 1e6, bytes / o / 1e6);
        if (seven.empty())
            printf(" %9s\n", "-");
        else
            printf(" %9.1f\n", bytes / median(seven) / 1e6);
    }
    printf("7zz: wall time of the whole `7zz t -mmt=1` process on the copies (start, reading, CRC)\n");
    return 0;
}
