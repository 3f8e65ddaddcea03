// The central directory of an archive from the tests' ZIP writer, as the walk sees it.
#pragma once
#include <string>
#include <vector>

#include "archive/central_directory.h"
#include "zip_writer.h"

namespace walktest {

// The directory bytes of build_zip output (no prefix, no ZIP64 end records), in a buffer of
// their exact size so that the sanitizer sees any read past it.
inline std::vector<uint8_t> directory_of(const std::string& zip)
{
    const size_t end = zip.rfind(std::string("PK\5\6", 4));
    auto field = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<uint8_t>(zip[end + at + i]);
        return v;
    };
    const uint32_t size = field(12);
    const uint32_t offset = field(16);
    return std::vector<uint8_t>(zip.begin() + offset, zip.begin() + offset + size);
}

inline std::vector<uint8_t> directory_of(const std::vector<ziptest::Entry>& entries)
{
    return directory_of(ziptest::build_zip(entries));
}

inline CentralCursor cursor_over(const std::vector<uint8_t>& directory, int32_t safePaths = 1)
{
    return CentralCursor{directory.data(), directory.data() + directory.size(), safePaths};
}

}  // namespace walktest
