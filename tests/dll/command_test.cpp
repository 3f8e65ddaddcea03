// Command strings through the command exports: the banner, refused options, archives and list
// files that cannot be opened, and output buffers of every size.
#include <windows.h>

#include "dll_host.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

TEST(Command, HelpWritesTheBannerAndCancels)
{
    for (const char* exportName : {"UnZip", "Varno"}) {
        const CommandResult r = run(exportName, "-h");
        EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED);
        EXPECT_EQ(r.output.rfind("varno 1.4+5 ", 0), 0u) << r.output;
        EXPECT_NE(r.output.find("\r\n zlibCompileFlags: "), std::string::npos) << r.output;
    }
    TempDir dir;
    write_file(dir.file(L"a.zip"), ziptest::build_zip({{"a.txt", "a"}}));
    const CommandResult r = run("Varno", "-qq " + quoted(dir.ansi(L"a.zip")) + " " + quoted(dir.ansi(L"out")) + " -h a.txt");
    EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED);
    EXPECT_EQ(r.output.rfind("varno 1.4+5 ", 0), 0u);  // not filtered by the message mask
    EXPECT_FALSE(file_exists(dir.file(L"out")));
}

TEST(Command, ExcludeIsRefusedOnlyInTheStylesThatSaySo)
{
    const CommandResult refused = run("Varno", "--Z=i -x missing.zip");
    EXPECT_EQ(refused.code, VARNO_ERROR_EXCLUDE_REFUSED);
    EXPECT_EQ(refused.output, " -x (exclude files) is not support.");
    // Without the refusal the archive name is read and its open fails.
    const CommandResult ignored = run("Varno", "--Z:u -x missing.zip");
    EXPECT_EQ(ignored.code, VARNO_ERROR_ARCHIVE_OPEN);
}

TEST(Command, ArchivesThatCannotBeOpenedOrRead)
{
    TempDir dir;
    const std::string missing = dir.ansi(L"missing.zip");
    CommandResult r = run("Varno", quoted(missing) + " out");
    EXPECT_EQ(r.code, VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(r.output, "Zip file open error(2): " + missing);
    EXPECT_EQ(run("Varno", "-qq " + quoted(missing)).output, "");
    EXPECT_EQ(run("Varno", "-q " + quoted(missing)).code, VARNO_ERROR_ARCHIVE_OPEN);

    // Files that exist but hold no archive are not a success.
    const std::pair<std::wstring, std::string> notArchives[] = {
        {L"text.zip", std::string(5000, 't')},
        {L"empty.zip", ""},
        {L"one.zip", "P"},
        {L"endonly.zip", ziptest::build_zip({})},  // 22 bytes: the record starts at 0
        // An end record further from the end than the longest comment reaches, behind a text.
        {L"hidden.zip", ziptest::build_zip({{"a", "a"}}, {.prefix = "text ", .suffix = std::string(65536, 's')})},
    };
    for (const auto& [name, bytes] : notArchives) {
        write_file(dir.file(name), bytes);
        const std::string path = dir.ansi(name);
        r = run("Varno", quoted(path));
        EXPECT_EQ(r.code, VARNO_ERROR_ARCHIVE_READ) << path;
        EXPECT_EQ(r.output, "Zip file read error(11): " + path);
        EXPECT_EQ(run("UnZip", "-qq " + quoted(path)).output, "");
    }
}

TEST(Command, ListFiles)
{
    TempDir dir;
    write_file(dir.file(L"a.zip"), ziptest::build_zip({{"a.txt", "a"}}));
    const std::string archive = quoted(dir.ansi(L"a.zip"));
    const std::string missing = dir.ansi(L"nolist.txt");
    const std::string out = quoted(dir.ansi(L"out"));

    CommandResult r = run("Varno", archive + " " + out + " " + quoted("@" + missing));
    EXPECT_EQ(r.code, VARNO_ERROR_METHOD);
    EXPECT_EQ(r.output, "Open error 2 : " + missing);
    r = run("Varno", "-qq " + archive + " " + quoted("@" + missing));
    EXPECT_EQ(r.code, VARNO_ERROR_METHOD);
    EXPECT_EQ(r.output, "");

    // A list that names the entry extracts it.
    write_file(dir.file(L"names.txt"), "nothing.txt\r\nA.TXT\r\n");
    r = run("Varno", archive + " " + out + " " + quoted("@" + dir.ansi(L"names.txt")));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file(dir.file(L"out\\a.txt")), "a");

    // Lists that can be read: empty, only blanks, binary, and 50 MB of names.
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary.push_back(static_cast<char>((i * 7919) % 255 + 1));
    std::string big;
    while (big.size() < 50u << 20)
        big += "dir\\some-entry-name.txt\r\n";
    const std::pair<std::wstring, std::string> lists[] = {
        {L"empty.txt", ""}, {L"blanks.txt", std::string(100000, ' ') + "\r\n\t"}, {L"binary.txt", binary},
        {L"big.txt", big}};
    for (const auto& [name, bytes] : lists) {
        write_file(dir.file(name), bytes);
        r = run("Varno", "-qq -n " + archive + " " + out + " " + quoted("@" + dir.ansi(name)));
        EXPECT_EQ(r.code, 0) << dlltest::to_ansi(name);
        EXPECT_EQ(r.output, "");
    }
}

TEST(Command, OutputBuffersOfEverySize)
{
    auto varno = fn<CommandFn>("Varno");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(varno(nullptr, "missing.zip", buffer, 1), VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 'x');
    buffer[0] = 'x';
    EXPECT_EQ(varno(nullptr, "missing.zip", buffer, 0), VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(varno(nullptr, "missing.zip", nullptr, 1000), VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(varno(nullptr, "-h", nullptr, 0), VARNO_ERROR_CANCELLED);
    EXPECT_EQ(varno(nullptr, "", buffer, 4), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(varno(nullptr, nullptr, buffer, 4), 0);
    // A message is never cut: it arrives whole or not at all.
    const CommandResult small = run("Varno", "missing.zip", 20);
    EXPECT_EQ(small.output, "");
}

TEST(Command, HostileCommandStringsNeverCrash)
{
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte.push_back(static_cast<char>(b));
    for (const std::string& command :
         {everyByte, std::string(100000, 'x'), "\"" + std::string(100000, 'y'), std::string("-"),
          "-R" + std::string(30, '7'), "-d" + std::string(3000, 'd') + " \"" + std::string(3000, 'z')}) {
        for (const char* exportName : {"UnZip", "Varno"})
            run(exportName, command, 256);
    }
}

}  // namespace
