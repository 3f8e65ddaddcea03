// Archives made by zip, 7zz (Deflate and Deflate64) and Python's zipfile, extracted by varno:
// the trees must be identical in bytes and modification times to what the tools themselves
// extract from the same archives, and the test command must agree with `unzip -t` about them
// (tests/data/make_tool_archives.sh makes all of it).
#include <windows.h>

#include <fstream>
#include <utility>
#include <vector>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "window_watch.h"

using namespace dlltest;

namespace {

std::wstring tool_folder() { return from_utf8(VARNO_TOOL_ARCHIVES); }

void expect_same_tree(const std::wstring& archive, bool unicode)
{
    TempDir dir;
    const std::wstring folder = tool_folder();
    UnicodeMode mode(unicode);
    const std::string path = unicode ? to_utf8(folder + L"\\" + archive + L".zip") : to_ansi(folder + L"\\" + archive + L".zip");
    const std::string out = unicode ? to_utf8(dir.file(L"out")) : to_ansi(dir.file(L"out"));
    const CommandResult r = run("Varno", "-o " + quoted(path) + " " + quoted(out));
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
    for (const wchar_t* archive : {L"zip", L"7z", L"py", L"d64"})
        expect_same_tree(archive, true);
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
    for (const wchar_t* archive : {L"zip", L"7z", L"py", L"d64", L"cp932", L"zip-damaged"}) {
        SCOPED_TRACE(to_utf8(archive));
        const CommandResult r = run("UnZip", "--test " + quoted(to_utf8(tool_folder() + L"\\" + archive + L".zip")));
        const Verdicts expected = unzip_verdicts(archive);
        const Verdicts actual = test_command_verdicts(r);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(actual.size(), expected.size()) << r.output;
        bool allPassed = true;
        for (size_t i = 0; i < expected.size(); ++i) {
            // unzip shows the cp932 names in no code page of ours: there only the verdicts count.
            if (std::wstring(archive) != L"cp932")
                EXPECT_EQ(actual[i].first, expected[i].first);
            EXPECT_EQ(actual[i].second, expected[i].second) << expected[i].first;
            allPassed = allPassed && expected[i].second;
        }
        EXPECT_EQ(r.code, allPassed ? 0 : VARNO_ERROR_DATA) << r.output;
    }
}

TEST(Differential, NamesOutsideTheSystemCodePageFailCleanly)
{
    // In the default mode names are taken to the system code page: the Japanese letters of one
    // name become '?', which no file name may hold. That entry fails with its report, and
    // nothing of it is left behind.
    ASSERT_EQ(GetACP(), 1252u);
    TempDir dir;
    std::wstring box;
    CommandResult r;
    {
        WindowWatch watch(L"varno.dll", [&](HWND window) {
            box = message_box_text(window);
            press(window, IDOK);
        });
        r = run("Varno", "-o " + quoted(to_ansi(tool_folder() + L"\\py.zip")) + " " + quoted(dir.ansi(L"out")) +
                             " \"nested/\xE9t\xE9 ??.txt\" nested/deeper/numbers.txt");
    }
    EXPECT_EQ(r.code, VARNO_ERROR_OUTPUT_FILE) << r.output;
    const std::wstring failed = dir.file(L"out\\nested\\\x00E9t\x00E9 ??.txt");
    EXPECT_EQ(box.rfind(failed + L" :\n", 0), 0u) << to_utf8(box);
    EXPECT_NE(box.find(L"(123)"), std::wstring::npos) << to_utf8(box);
    EXPECT_EQ(r.output, to_ansi(box));
    EXPECT_FALSE(file_exists(dir.file(L"out\\nested\\deeper\\numbers.txt")));  // the failure ended the job
}

TEST(DifferentialJaLocale, DoubleByteNamesInTheDefaultMode)
{
    ASSERT_EQ(GetACP(), 932u);
    expect_same_tree(L"cp932", false);
}

}  // namespace
