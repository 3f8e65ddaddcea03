// Archives made by zip, 7zz (Deflate, Deflate64, bzip2, LZMA, XZ, PPMd), bsdtar and Python's
// zipfile, of the xz and zstd tools' output, and of the old methods (the samples and the tests'
// own encoder's), encrypted or not, extracted by varno:
// the trees must be identical in bytes and modification times to what the tools themselves
// extract from the same archives, and the test command must agree with `unzip -t` about them
// (tests/data/make_tool_archives.sh makes all of it).
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "aes_entries.h"
#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"

using namespace dlltest;

namespace {

std::wstring tool_folder() { return from_utf8(VARNO_TOOL_ARCHIVES); }

// *result, when given, receives the command's result and report.
void expect_same_tree(const std::wstring& archive, bool unicode, const std::string& options = "-o",
                      Library library = Library::dll, CommandResult* result = nullptr)
{
    TempDir dir;
    const std::wstring folder = tool_folder();
    UnicodeMode mode(unicode);
    const std::string path = unicode ? to_utf8(folder + L"\\" + archive + L".zip") : to_ansi(folder + L"\\" + archive + L".zip");
    const std::string out = unicode ? to_utf8(dir.file(L"out")) : to_ansi(dir.file(L"out"));
    const CommandResult r = run("Varno", options + " " + quoted(path) + " " + quoted(out), 1 << 20, library);
    if (result)
        *result = r;
    ASSERT_EQ(r.code, 0) << r.output;
    const auto expected = snapshot_tree(folder + L"\\ref-" + archive);
    const auto actual = snapshot_tree(dir.file(L"out"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(actual.size(), expected.size()) << to_utf8(archive);
    for (const auto& [name, file] : expected) {
        const auto found = actual.find(name);
        ASSERT_NE(found, actual.end()) << to_utf8(archive) << ": missing " << to_utf8(name);
        EXPECT_EQ(found->second.directory, file.directory) << to_utf8(name);
        EXPECT_EQ(found->second.bytes, file.bytes) << to_utf8(name);
        if (!file.directory)  // the tools also set folders' times; entries of folders carry none here
            EXPECT_EQ(found->second.writeTime, file.writeTime) << to_utf8(archive) << ": " << to_utf8(name);
    }
}

TEST(DifferentialBothLocales, TreesOfEveryToolMatchWhatTheToolExtracts)
{
    // In the default mode too: the UTF-8 names get their own characters in the paths, also
    // those that the system code page lacks.
    for (bool unicode : {true, false}) {
        for (const wchar_t* archive : {L"zip", L"7z", L"py", L"d64"})
            expect_same_tree(archive, unicode);
    }
}

// Each entry's name and whether it passed, from `unzip -t` ("    testing: NAME   OK", the name
// padded with blanks) or from the test command ("OK : NAME" or "FAILURE : NAME").
using Verdicts = std::vector<std::pair<std::string, bool>>;

Verdicts unzip_verdicts(const std::wstring& archive)
{
    Verdicts verdicts;
    std::ifstream in(VARNO_TOOL_ARCHIVES "/" + to_utf8(archive) + ".unzip-t", std::ios::binary);
    const std::string prefix = "    testing: ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        const std::string rest = line.substr(prefix.size());
        const size_t gap = rest.find("  ");
        const size_t verdict = rest.find_first_not_of(' ', gap);
        verdicts.push_back({rest.substr(0, gap), verdict != std::string::npos && rest.compare(verdict, 2, "OK") == 0});
    }
    return verdicts;
}

Verdicts test_command_verdicts(const CommandResult& r)
{
    Verdicts verdicts;
    for (const std::string& line : lines_of(r.output)) {
        const size_t colon = line.find(" : ");
        EXPECT_NE(colon, std::string::npos) << line;
        if (colon != std::string::npos)
            verdicts.push_back({line.substr(colon + 3), line.substr(0, colon) == "OK"});
    }
    return verdicts;
}

TEST(Differential, TestCommandAgreesWithUnzip)
{
    UnicodeMode utf8(true);
    for (const wchar_t* archive : {L"zip", L"7z", L"py", L"d64", L"cp932", L"zip-damaged", L"m-zip-bzip2", L"many-zip",
                                   L"many-7z", L"many-py", L"s-shrink", L"s-implode", L"l-1", L"l-6-0", L"l-6-6"}) {
        SCOPED_TRACE(to_utf8(archive));
        const CommandResult r = run("UnZip", "--test " + quoted(to_utf8(tool_folder() + L"\\" + archive + L".zip")));
        Verdicts expected = unzip_verdicts(archive);
        Verdicts actual = test_command_verdicts(r);
        // Workers report in their own order; unzip shows the cp932 names in no code page of ours.
        if (std::wstring(archive) != L"cp932") {
            std::sort(expected.begin(), expected.end());
            std::sort(actual.begin(), actual.end());
        }
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(actual.size(), expected.size()) << r.output;
        bool allPassed = true;
        for (size_t i = 0; i < expected.size(); ++i) {
            if (std::wstring(archive) != L"cp932")
                EXPECT_EQ(actual[i].first, expected[i].first);
            EXPECT_EQ(actual[i].second, expected[i].second) << expected[i].first;
            allPassed = allPassed && expected[i].second;
        }
        EXPECT_EQ(r.code, allPassed ? 0 : VARNO_ERROR_DATA) << r.output;
    }
}

// Traditional encryption by zip, 7zz and bsdtar (which writes data descriptors), WinZip AES of
// all three strengths over stored, Deflate and Deflate64 data (AE-2 by 7zz, AE-1 and AE-2 by
// bsdtar), each verified: CRC-32 and AES authentication codes as the tools wrote them.
TEST(Differential, EncryptedArchivesMatchWhatTheToolExtracts)
{
    const char* without192 = platform_aes192_unusable();
    for (const wchar_t* archive : {L"enc-zip", L"enc-7zc", L"enc-7zc64", L"enc-aes128", L"enc-aes192", L"enc-aes256",
                                   L"enc-bsd-traditional", L"enc-bsd-aes128", L"enc-bsd-aes256", L"enc-aes-bzip2",
                                   L"enc-aes-lzma", L"enc-7zc-xz", L"enc-aes-ppmd", L"enc-7zc-ppmd"}) {
        if (without192 && std::wstring(archive) == L"enc-aes192")
            continue;
        SCOPED_TRACE(to_utf8(archive));
        expect_same_tree(archive, true, "-o --verify -P secret");
    }
    if (without192)
        GTEST_SKIP() << "enc-aes192 left out (the others passed): " << without192;
}

// bzip2 by 7zz, zip and Python, also entries of 5 and 6 MB that are decoded a block at a time;
// LZMA by 7zz (with and without its end marker) and Python; XZ by 7zz and the xz tool;
// Zstandard by the zstd tool; PPMd by 7zz (its model restarting in the second): into verified
// files, into memory blocks and the caller's buffer, and under the test command.
TEST(Differential, LibraryMethodsInEveryMode)
{
    const std::string repeats = read_file(tool_folder() + L"\\tree\\nested\\repeats.bin");
    for (const wchar_t* archive : {L"m-7z-bzip2", L"m-zip-bzip2", L"m-py-bzip2", L"m-big-7z-bzip2", L"m-big-zip-bzip2",
                                   L"m-big-py-bzip2", L"m-7z-lzma", L"m-7z-lzma-sized", L"m-py-lzma", L"m-7z-xz", L"m-xz",
                                   L"m-zstd", L"m-7z-ppmd", L"m-7z-ppmd-o2"}) {
        SCOPED_TRACE(to_utf8(archive));
        expect_same_tree(archive, true, "-o --verify");
        const std::string path = quoted(to_ansi(tool_folder() + L"\\" + archive + L".zip"));
        const CommandResult tested = run("UnZip", "--test " + path);
        EXPECT_EQ(tested.code, 0) << tested.output;
        for (const std::string& line : lines_of(tested.output))
            EXPECT_EQ(line.rfind("OK : ", 0), 0u) << line;
        void* block = nullptr;
        char report[256];
        EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, (path + " nested/repeats.bin").c_str(), report, sizeof report, &block), 0);
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(std::string(static_cast<char*>(block), repeats.size()) == repeats);
        GlobalFree(block);
        std::string buffer(repeats.size() + 1, '\0');  // the data and the terminator's room
        EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (path + " nested/repeats.bin").c_str(),
                                                       reinterpret_cast<BYTE*>(buffer.data()), static_cast<DWORD>(buffer.size()),
                                                       nullptr, nullptr, nullptr),
                  0);
        EXPECT_TRUE(buffer.compare(0, repeats.size(), repeats) == 0);
    }
}

// The old methods, verified, as 7zz extracts them (Reduce, which no tool reads, as the sources
// of the archives); the test command's verdicts on them are unzip's (above).
TEST(Differential, OldMethodsMatchWhatTheToolExtracts)
{
    for (const wchar_t* archive : {L"s-shrink", L"s-reduce", L"s-implode", L"s-ppmd", L"l-1", L"l-2", L"l-3", L"l-4", L"l-5",
                                   L"l-6-0", L"l-6-2", L"l-6-4", L"l-6-6"})
        expect_same_tree(archive, true, "-o --verify");
}

// 300 files of each method by eight workers (the library linked in, told the volume is fast),
// with two large bzip2 entries among them.
TEST(Differential, EightWorkersOnEveryLibraryMethod)
{
    StorageAnswerScope fast(StorageAnswer::fast);
    for (const wchar_t* archive : {L"m-many-BZip2", L"m-many-LZMA", L"m-many-XZ", L"m-many-zstd", L"m-many-PPMd"}) {
        SCOPED_TRACE(to_utf8(archive));
        CommandResult r;
        expect_same_tree(archive, true, "-o --q -R8", Library::linked, &r);
        EXPECT_NE(r.output.find("multimode thread:8 "), std::string::npos) << r.output.substr(0, 300);
    }
}

// The authentication code behind the data (the 10 bytes before the central directory of a
// one-entry archive) is read only to verify: damaged, it fails verification and nothing else.
TEST(Differential, DamagedAesAuthenticationCodeFailsOnlyVerification)
{
    TempDir dir;
    std::string bytes = read_file(tool_folder() + L"\\enc-aes-one.zip");
    const size_t end = bytes.size() - 22;
    ASSERT_EQ(bytes.substr(end, 4), "PK\x05\x06");
    const uint32_t cdOffset = static_cast<uint8_t>(bytes[end + 16]) | static_cast<uint8_t>(bytes[end + 17]) << 8 |
                              static_cast<uint8_t>(bytes[end + 18]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[end + 19])) << 24;
    for (size_t i = cdOffset - 10; i < cdOffset; ++i)
        bytes[i] = static_cast<char>(~bytes[i]);
    write_file(dir.file(L"damaged.zip"), bytes);
    const std::string command = "-o -j -P secret " + quoted(dir.ansi(L"damaged.zip")) + " " + quoted(dir.ansi(L"out"));
    const CommandResult verified = run("Varno", "--verify " + command);
    EXPECT_EQ(verified.code, VARNO_ERROR_DATA);
    EXPECT_EQ(verified.output, "Authentication error : " + dir.ansi(L"out\\numbers.txt"));
    EXPECT_FALSE(file_exists(dir.file(L"out\\numbers.txt")));
    const CommandResult r = run("Varno", command);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(read_file(dir.file(L"out\\numbers.txt")), read_file(tool_folder() + L"\\tree\\nested\\deeper\\numbers.txt"));
}

TEST(Differential, SelectionByTheSystemCodePageFormOfAName)
{
    // The Japanese letters of a name are '?' in the system code page; the selection by that
    // form finds the entry, and the file gets its real name.
    ASSERT_EQ(GetACP(), 1252u);
    TempDir dir;
    const CommandResult r = run("Varno", "-o " + quoted(to_ansi(tool_folder() + L"\\py.zip")) + " " + quoted(dir.ansi(L"out")) +
                                             " \"nested/\xE9t\xE9 ??.txt\" nested/deeper/numbers.txt");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(read_file(dir.file(L"out\\nested\\\x00E9t\x00E9 \x65E5\x672C.txt")), "utf8");
    EXPECT_TRUE(file_exists(dir.file(L"out\\nested\\deeper\\numbers.txt")));
}

TEST(DifferentialJaLocale, DoubleByteNamesInTheDefaultMode)
{
    ASSERT_EQ(GetACP(), 932u);
    expect_same_tree(L"cp932", false);
}

}  // namespace
