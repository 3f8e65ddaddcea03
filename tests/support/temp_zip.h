// An archive of the tests' own ZIP writer in a fresh temporary folder: its name quoted for
// command strings, and an output folder beside it.
#pragma once
#include <string>
#include <vector>

#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

namespace dlltest {

struct TempZip {
    TempDir dir;
    std::string path;  // quoted, in the system ANSI code page
    explicit TempZip(const std::vector<ziptest::Entry>& entries)
    {
        write_file(dir.file(L"a.zip"), ziptest::build_zip(entries));
        path = quoted(to_ansi(dir.file(L"a.zip")));
    }
    std::wstring out(const std::wstring& name) const { return dir.file(L"out\\" + name); }
    std::string out_option() const { return quoted(to_ansi(dir.file(L"out"))); }
};

}  // namespace dlltest
