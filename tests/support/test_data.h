// Test data and small helpers shared by the extraction tests.
#pragma once
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace dlltest {

std::string text_of(size_t size, unsigned seed = 1);   // compressible text
std::string noise_of(size_t size, unsigned seed = 7);  // bytes that do not compress
std::string quoted(const std::string& path);
// The lines of a message text, split at CR LF (empty lines kept).
std::vector<std::string> lines_of(const std::string& text);

uint64_t write_time_of(const std::wstring& path);      // last-write FILETIME as a number
uint64_t utc_of_dos(uint16_t dosDate, uint16_t dosTime);

struct TreeFile {
    bool directory;
    std::string bytes;
    uint64_t writeTime;
};
// Every file and folder below root, by path relative to root.
std::map<std::wstring, TreeFile> snapshot_tree(const std::wstring& root);

}  // namespace dlltest
