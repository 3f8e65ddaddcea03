// The storage probe against each answer it can get: the seek-penalty answers through the test
// seam, the volumes through real paths (a local folder, a drive that is not there, a network
// path). Under Wine no volume answers the seek-penalty query and the prefix's drive has no
// label, which the real answer is checked against.
#include <windows.h>

#include <string>
#include <vector>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

bool under_wine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring unused_drive()
{
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Z'; letter > L'C'; --letter) {
        if (!(drives & (1u << (letter - L'A'))))
            return std::wstring(1, letter) + L":\\varno\\out";
    }
    return std::wstring();
}

TEST(StorageProbe, EveryAnswerOfTheVolume)
{
    TempDir dir;
    const std::wstring local = dir.file(L"out");
    const wchar_t root[] = {local[0], L':', L'\\', 0};
    wchar_t label[MAX_PATH] = L"?";
    ASSERT_TRUE(GetVolumeInformationW(root, label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0));
    ASSERT_STREQ(label, L"") << "the temporary folder's volume is expected to have no label";
    const std::wstring missing = unused_drive();
    ASSERT_FALSE(missing.empty());
    const std::wstring network = L"\\\\varno-nowhere\\share\\out";

    const struct {
        const char* what;
        const std::wstring& path;
        StorageAnswer answer;
        int32_t kind;
    } cases[] = {
        {"no seek penalty", local, StorageAnswer::fast, 0},
        {"seek penalty", local, StorageAnswer::rotating, 1},
        {"no answer, no label", local, StorageAnswer::unknown, 1},
        // A path on a drive that is not there is asked about at the drive's root.
        {"missing drive, no seek penalty", missing, StorageAnswer::fast, 0},
        {"missing drive, seek penalty", missing, StorageAnswer::rotating, 1},
        {"missing drive, no answer, no label to read", missing, StorageAnswer::unknown, 0},
        {"missing drive, the volume's answer", missing, StorageAnswer::fromVolume, 0},
        // No volume is found for an unreachable share, and nothing says it is slow.
        {"network path, no answer", network, StorageAnswer::unknown, 0},
        {"network path, the volume's answer", network, StorageAnswer::fromVolume, 0},
    };
    for (const auto& c : cases) {
        StorageAnswerScope answer(c.answer);
        EXPECT_EQ(probe_storage_kind(c.path.c_str()), c.kind) << c.what;
    }
    // Wine's volumes give no seek-penalty answer: the label decides, and there is none.
    if (under_wine())
        EXPECT_EQ(probe_storage_kind(local.c_str()), 1);
}

// The answer a test gives reaches only the library linked into the test program: the DLL that
// hosts load keeps asking the volume.
TEST(StorageProbe, AnswerGivenToTheLinkedLibraryOnly)
{
    if (!under_wine())
        GTEST_SKIP() << "the volume's own answer is known only under Wine";
    TempDir dir;
    std::vector<ziptest::Entry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({.name = "f" + std::to_string(i), .data = "x"});
    write_file(dir.file(L"a.zip"), ziptest::build_zip(entries));
    const std::string command = "-o --q -R8 " + quoted(to_ansi(dir.file(L"a.zip"))) + " " + quoted(to_ansi(dir.file(L"out")));
    StorageAnswerScope fast(StorageAnswer::fast);
    EXPECT_EQ(run("Varno", command, 1 << 16, Library::dll).output.rfind("multimode thread:2 step:20", 0), 0u);
    EXPECT_EQ(run("Varno", command, 1 << 16, Library::linked).output.rfind("multimode thread:8 step:5", 0), 0u);
}

}  // namespace
