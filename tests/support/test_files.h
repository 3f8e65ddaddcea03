// Real files in a temporary folder of each test.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

namespace dlltest {

// A fresh folder under the system's temporary folder (or under the folder `under`, which ends in
// a backslash), removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::wstring& under = L"");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    // The same in the system ANSI code page, for command strings.
    std::string ansi(const std::wstring& name = L"") const;

private:
    std::wstring path_;
};

void write_file(const std::wstring& path, const std::string& bytes);
std::string read_file(const std::wstring& path);
bool file_exists(const std::wstring& path);
// The names of what a folder holds (not below it), hidden ones included, in sorted order.
std::vector<std::wstring> names_in(const std::wstring& folder);
std::string to_ansi(const std::wstring& text);
std::string to_utf8(const std::wstring& text);
std::wstring from_utf8(const std::string& text);

}  // namespace dlltest
