// Hostile entry names: nothing outside the output folder (or, without one, the current folder)
// is created or changed, whatever the name says.
#include <windows.h>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

const char* const kHostileNames[] = {
    "../evil1.txt", "..\\evil2.txt", "a/../../evil3.txt", "a\\..\\..\\evil4.txt", "/evil5.txt", "\\evil6.txt",
    "//server/share/evil7.txt", "\\\\server\\share\\evil8.txt", "\\\\?\\C:\\evil9.txt", "\\\\.\\evil10.txt",
    "C:/evil11.txt", "C:evil12.txt", "Z:\\evil13.txt", ".. /evil14.txt", "..\x20\\evil15.txt", "../ /evil16.txt",
    "... /evil17.txt", "..../evil18.txt", "a/.. /../evil19.txt", "./../evil20.txt", "..", "../", "a/../..",
    "CON", "NUL", "nul.txt", "COM1", "LPT1.log", "AUX", "PRN", "dir/con", "Com9.dat", "a.txt:stream",
    "a.txt::$DATA", "evil21.txt. . ", "..\t/evil22.txt",
};

// Every file and folder below root, with its bytes.
std::map<std::wstring, TreeFile> tree(const std::wstring& root) { return snapshot_tree(root); }

void check_nothing_escapes(bool withOutputDir)
{
    TempDir dir;
    const std::wstring work = dir.file(L"work");
    CreateDirectoryW(work.c_str(), nullptr);
    const std::wstring out = withOutputDir ? work + L"\\out" : work;
    write_file(dir.file(L"victim.txt"), "untouched");
    const auto before = tree(dir.path());
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(work.c_str());
    {
        // Names that the file system refuses end in the failure report's message box.
        WindowWatch boxes(L"varno.dll", [](HWND box) { press(box, IDOK); });
        // One archive per name: a refused name ends its job.
        for (const char* name : kHostileNames) {
            write_file(dir.file(L"evil.zip"), ziptest::build_zip({{.name = name, .data = std::string("pwned by ") + name}}));
            std::string command = "-o -qq " + quoted(to_ansi(dir.file(L"evil.zip")));
            if (withOutputDir)
                command += " " + quoted(to_ansi(out));
            run("Varno", command);
        }
    }
    SetCurrentDirectoryW(previous);

    const auto after = tree(dir.path());
    const std::wstring inside = withOutputDir ? L"work\\out" : L"work";
    for (const auto& [path, file] : after) {
        const bool below = path == inside || path.rfind(inside + L"\\", 0) == 0;
        if (!below) {
            const auto old = before.find(path);
            if (path != L"evil.zip")
                EXPECT_TRUE(old != before.end() && old->second.bytes == file.bytes) << "outside: " << to_ansi(path);
        }
    }
    EXPECT_EQ(read_file(dir.file(L"victim.txt")), "untouched");
    // Nothing at the root of the drive, on a share or behind a device.
    for (int i = 1; i <= 22; ++i) {
        const std::wstring evil = L"\\evil" + std::to_wstring(i) + L".txt";
        EXPECT_FALSE(file_exists(evil)) << to_ansi(evil);
        EXPECT_FALSE(file_exists(L"C:" + evil));
        EXPECT_FALSE(file_exists(L"Z:" + evil));
    }
}

TEST(ZipSlip, NothingLeavesTheOutputFolder) { check_nothing_escapes(true); }
TEST(ZipSlip, NothingLeavesTheCurrentFolderWithoutAnOutputFolder) { check_nothing_escapes(false); }

TEST(ZipSlip, DeviceNamesBecomeFiles)
{
    TempDir dir;
    const std::wstring out = dir.file(L"out");
    std::vector<Entry> entries;
    for (const char* name : {"CON", "nul.txt", "COM1", "dir/aux"})
        entries.push_back({.name = name, .data = std::string("data of ") + name});
    write_file(dir.file(L"dev.zip"), ziptest::build_zip(entries));
    const CommandResult r = run("Varno", "-o " + quoted(to_ansi(dir.file(L"dev.zip"))) + " " + quoted(to_ansi(out)));
    EXPECT_EQ(r.code, 0) << r.output;
    // Each entry's bytes are in a file of its own below the output folder: none went to a device.
    const auto files = snapshot_tree(out);
    size_t found = 0;
    for (const auto& [path, file] : files) {
        for (const auto& e : entries)
            found += !file.directory && file.bytes == e.data;
    }
    EXPECT_EQ(found, entries.size());
}

}  // namespace
