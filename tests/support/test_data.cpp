#include "test_data.h"

#include <windows.h>

#include "test_files.h"

namespace dlltest {

std::string text_of(size_t size, unsigned seed)
{
    std::string out;
    out.reserve(size + 64);
    unsigned x = seed;
    while (out.size() < size) {
        x = x * 1103515245u + 12345u;
        out += "line " + std::to_string(x % 100000) + " of some text\n";
    }
    out.resize(size);
    return out;
}

std::string noise_of(size_t size, unsigned seed)
{
    std::string out(size, '\0');
    unsigned x = seed;
    for (char& c : out) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

uint64_t write_time_of(const std::wstring& path)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    FILETIME write = {};
    if (f != INVALID_HANDLE_VALUE) {
        GetFileTime(f, nullptr, nullptr, &write);
        CloseHandle(f);
    }
    return (static_cast<uint64_t>(write.dwHighDateTime) << 32) | write.dwLowDateTime;
}

uint64_t utc_of_dos(uint16_t dosDate, uint16_t dosTime)
{
    FILETIME local, utc;
    DosDateTimeToFileTime(dosDate, dosTime, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

namespace {

void walk(const std::wstring& root, const std::wstring& relative, std::map<std::wstring, TreeFile>& out)
{
    WIN32_FIND_DATAW found;
    const std::wstring base = relative.empty() ? root : root + L"\\" + relative;
    HANDLE find = FindFirstFileW((base + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
        const uint64_t time = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                              found.ftLastWriteTime.dwLowDateTime;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[child] = {true, std::string(), time};
            walk(root, child, out);
        } else {
            out[child] = {false, read_file(root + L"\\" + child), time};
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

std::map<std::wstring, TreeFile> snapshot_tree(const std::wstring& root)
{
    std::map<std::wstring, TreeFile> out;
    walk(root, L"", out);
    return out;
}

}  // namespace dlltest
