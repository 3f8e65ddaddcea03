// The Deflate64 decoder as built for Windows: the 88-byte stream record of the Windows zlib and
// a whole stream decoded through the callbacks in whole windows.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "codec/deflate64.h"
#include "zip_writer.h"

namespace {

struct Source {
    const std::string* data;
    size_t pos;
    static uint32_t read(void* d, uint8_t** next)
    {
        auto* self = static_cast<Source*>(d);
        const size_t n = std::min<size_t>(4096, self->data->size() - self->pos);
        *next = reinterpret_cast<uint8_t*>(const_cast<char*>(self->data->data())) + self->pos;
        self->pos += n;
        return static_cast<uint32_t>(n);
    }
};

struct Sink {
    std::string out;
    std::vector<uint32_t> calls;
    static int write(void* d, uint8_t* data, uint32_t n)
    {
        auto* self = static_cast<Sink*>(d);
        self->calls.push_back(n);
        self->out.append(reinterpret_cast<const char*>(data), n);
        return 0;
    }
};

TEST(Deflate64Windows, DecodesWithTheWindowsStreamRecord)
{
    EXPECT_EQ(sizeof(z_stream), 88u);
    std::vector<uint8_t> window(kDeflate64WindowSize);
    z_stream z{};
    EXPECT_EQ(deflate64_init(&z, window.data(), "1.3.1", 112), -6);
    ASSERT_EQ(deflate64_init(&z, window.data(), "1.3.1", 88), 0);

    // Text without repeats of 258 bytes, so that its Deflate stream is also a Deflate64 stream.
    std::string text;
    for (uint32_t i = 0; text.size() < 200000; ++i) text += "line " + std::to_string(i * 7919 % 100003) + "\n";
    const std::string stream = ziptest::deflate_raw(text, 9);
    Source in{&stream, 0};
    Sink out;
    EXPECT_EQ(deflate64_decode(&z, Source::read, &in, Sink::write, &out), 1);
    EXPECT_TRUE(out.out == text);
    EXPECT_EQ(out.calls, (std::vector<uint32_t>{65536, 65536, 65536, static_cast<uint32_t>(text.size() - 3 * 65536)}));
    EXPECT_EQ(deflate64_end(&z), 0);
}

}  // namespace
