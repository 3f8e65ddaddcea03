// Output files on real folders: the existing-file policy of every mode, replacements that take
// an existing file's place only when whole, protective attributes, missing directories,
// failure reports with their message box, backup names.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dll_host.h"
#include "extract/output_files.h"
#include "output_job.h"
#include "resources/resource_ids.h"
#include "test_data.h"
#include "test_files.h"
#include "varno_results.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

constexpr uint64_t kSecond = 10000000;  // FILETIME units

// Answers every "varno.dll" warning box with OK and keeps its text.
struct BoxWatch {
    BoxWatch()
        : watch(L"varno.dll", [this](HWND box) {
              std::lock_guard<std::mutex> lock(mutex);
              texts.push_back(message_box_text(box));
              press(box, IDOK);
          })
    {
    }
    std::vector<std::wstring> seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return texts;
    }
    std::mutex mutex;
    std::vector<std::wstring> texts;
    WindowWatch watch;
};

// Answers the overwrite dialogs in turn with the given buttons.
struct DialogScript {
    explicit DialogScript(std::vector<int> answers)
        : answers(std::move(answers)), watch(L"Exist file - varno", [this](HWND dialog) {
              const size_t i = static_cast<size_t>(asked++);
              press(dialog, i < this->answers.size() ? this->answers[i] : IDCANCEL);
          })
    {
    }
    std::vector<int> answers;
    std::atomic<int> asked{0};
    WindowWatch watch;
};

std::string ansi(const std::wstring& w) { return to_ansi(w); }

// Makes the output file for path; true when there is one, which is then closed and removed.
bool created_and_discarded(ExtractJob* job, std::wstring& path, EntryExtraInfo* extras)
{
    OutputFile file;
    if (!create_output_file(job, &path[0], extras, &file))
        return false;
    discard_output_file(&file);
    return true;
}

// Makes the output file for path and finishes it with bytes; false when either step failed.
bool written_and_finished(ExtractJob* job, std::wstring& path, EntryExtraInfo* extras, const std::string& bytes)
{
    OutputFile file;
    if (!create_output_file(job, &path[0], extras, &file))
        return false;
    DWORD written = 0;
    WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return finish_output_file(job, path.c_str(), &file, extras);
}


std::wstring system_text(DWORD error)
{
    wchar_t text[1025] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0x0800,
                                   text, 1024, nullptr);
    return n < 3 ? L"Unknown error" : text;
}

// ---------------------------------------------------------------------------------------------
// resolve_existing_file: one existing file, every mode, the entry newer, equal or older.

TEST(ResolveExistingFile, EveryModeDecidesByItsRule)
{
    const uint64_t existingTime = utc_from_local(2022, 3, 4, 10, 20, 30, 0);
    struct Case {
        const char* what;
        int32_t mode;
        int32_t skipExisting;
        int64_t entryOffset;  // entry time minus the existing file's time
        int32_t mask;
        int expected;
        int32_t result;
        const char* line;  // the one message, followed by the path; null for none
    };
    const Case cases[] = {
        {"skip", 1, 0, kSecond, 3, 0, VARNO_WARNING_FILE_EXISTS, "Skip(exist): "},
        {"overwrite", 2, 0, -int64_t(kSecond), 3, 1, VARNO_WARNING_FILE_EXISTS, "overwrite: "},
        {"newer entry", 3, 0, 1, 3, 1, VARNO_WARNING_FILE_EXISTS, "OverWrite: "},
        {"same time", 3, 0, 0, 3, 0, VARNO_WARNING_FILE_EXISTS, "Skip(date): "},
        {"older entry", 3, 0, -1, 3, 0, VARNO_WARNING_FILE_EXISTS, "Skip(date): "},
        {"skipExisting wins over overwrite", 2, 1, kSecond, 3, 0, VARNO_WARNING_FILE_EXISTS, "Skip(exist): "},
        {"skipExisting wins over newer", 3, 1, kSecond, 3, 0, VARNO_WARNING_FILE_EXISTS, "Skip(exist): "},
        {"notices need bit 1", 2, 0, 0, 1, 1, VARNO_WARNING_FILE_EXISTS, nullptr},
        {"skip notice needs bit 1", 1, 0, 0, 5, 0, VARNO_WARNING_FILE_EXISTS, nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::wstring path = dir.file(L"a.txt");
        write_file(path, "old");
        ASSERT_TRUE(set_write_time(path, existingTime));
        TestArchive archive(c.mode, c.mask);
        archive->options.skipExisting = c.skipExisting;
        TestJob job(archive.get(), true);
        TestEntry entry(0, 0, 3);
        entry.set_write_time(existingTime + c.entryOffset);

        EXPECT_EQ(resolve_existing_file(&job.job, path.c_str(), &entry.extras, ERROR_FILE_EXISTS), c.expected) << c.what;
        EXPECT_EQ(job.result(), c.result) << c.what;
        const std::vector<std::string> want =
            c.line ? std::vector<std::string>{c.line + ansi(path)} : std::vector<std::string>{};
        EXPECT_EQ(job.lines(), want) << c.what;
        EXPECT_EQ(archive->options.overwriteMode, c.mode) << c.what;
        EXPECT_EQ(read_file(path), "old") << c.what;  // deciding never touches the file
    }
}

TEST(ResolveExistingFile, DateTestOnAFileThatIsGoneIsAnOpenError)
{
    TempDir dir;
    const std::wstring path = dir.file(L"gone.txt");
    TestArchive archive(3);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 0);
    EXPECT_EQ(resolve_existing_file(&job.job, path.c_str(), &entry.extras, ERROR_FILE_EXISTS), 0);
    EXPECT_EQ(job.result(), VARNO_ERROR_OUTPUT_FILE);
    EXPECT_EQ(job.lines(), std::vector<std::string>{"Open error(2): " + ansi(path)});
}

// The backup is left to the moment the replacement is whole; a backup that fails then costs the
// replacement, not the existing file.
TEST(ResolveExistingFile, BackupModeBacksUpOnlyForAWholeReplacement)
{
    BoxWatch boxes;  // none is expected; a stray one must not hang the test
    TempDir dir;
    std::wstring path = dir.file(L"a.txt");
    write_file(path, "old");
    TestArchive archive(4);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 0);
    EXPECT_EQ(resolve_existing_file(&job.job, path.c_str(), &entry.extras, ERROR_FILE_EXISTS), kBackUpExisting);
    EXPECT_EQ(read_file(path), "old");
    EXPECT_EQ(job.text(), "");

    // The existing file went away meanwhile: nothing can be backed up, the entry is skipped.
    TestJob second(archive.get(), true);
    OutputFile file;
    ASSERT_TRUE(create_output_file(&second.job, &path[0], &entry.extras, &file));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_FALSE(finish_output_file(&second.job, path.c_str(), &file, &entry.extras));
    EXPECT_EQ(second.result(), VARNO_WARNING_FILE_EXISTS);
    EXPECT_EQ(second.lines(), std::vector<std::string>{"Backup error(2): " + ansi(path)});
    EXPECT_TRUE(names_in(dir.path()).empty());
    EXPECT_TRUE(boxes.seen().empty());
}

// Ask mode on the caller's thread: the dialog's answer decides, and the four answers for all
// files change the mode for the rest of the command.
TEST(ResolveExistingFile, AskModeTakesTheDialogsAnswer)
{
    SKIP_WITHOUT_DESKTOP();
    const uint64_t existingTime = utc_from_local(2022, 3, 4, 10, 20, 30, 0);
    struct Case {
        int answer;
        int expected;
        int32_t modeAfter;
        int32_t result;
        const char* line;
    };
    const Case cases[] = {
        {IDYES, kReplaceExisting, 0, VARNO_WARNING_FILE_EXISTS, "overwrite: "},
        {IDNO, kLeaveExisting, 0, VARNO_WARNING_FILE_EXISTS, "Skip(exist): "},
        {IDC_OVERWRITE_ALL, kReplaceExisting, 2, VARNO_WARNING_FILE_EXISTS, "overwrite: "},
        {IDC_SKIP_ALL, kLeaveExisting, 1, VARNO_WARNING_FILE_EXISTS, "Skip(exist): "},
        {IDC_OVERWRITE_NEWER_ALL, kLeaveExisting, 3, VARNO_WARNING_FILE_EXISTS, "Skip(date): "},  // entry is older
        {IDC_BACKUP_EXISTING, kBackUpExisting, 4, VARNO_WARNING_FILE_EXISTS, nullptr},
        {IDCANCEL, kLeaveExisting, 0, VARNO_ERROR_CANCELLED, "User cancel"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::wstring path = dir.file(L"a.txt");
        write_file(path, "old");
        ASSERT_TRUE(set_write_time(path, existingTime));
        TestArchive archive(0);
        TestJob job(archive.get(), true);
        TestEntry entry(0, 0, 0);
        entry.set_write_time(existingTime - kSecond);
        DialogScript script({c.answer});

        EXPECT_EQ(resolve_existing_file(&job.job, path.c_str(), &entry.extras, ERROR_FILE_EXISTS), c.expected)
            << c.answer;
        EXPECT_EQ(script.asked.load(), 1) << c.answer;
        EXPECT_EQ(archive->options.overwriteMode, c.modeAfter) << c.answer;
        EXPECT_EQ(job.result(), c.result) << c.answer;
        std::vector<std::string> want;
        if (c.line)
            want.push_back(c.answer == IDCANCEL ? std::string(c.line) : c.line + ansi(path));
        EXPECT_EQ(job.lines(), want) << c.answer;
        EXPECT_EQ(archive->sharedState, c.answer == IDCANCEL ? VARNO_ERROR_CANCELLED : 0) << c.answer;
        EXPECT_EQ(read_file(path), "old") << c.answer;  // deciding never touches the file
    }
}

// ---------------------------------------------------------------------------------------------
// create_output_file

TEST(CreateOutputFile, NewFileAndTheExistingFilePolicy)
{
    BoxWatch boxes;  // none is expected; a stray one must not hang the test
    TempDir dir;
    TestArchive archive(1);
    TestEntry entry(0, 0, 0);
    std::wstring path = dir.file(L"new.txt");

    TestJob fresh(archive.get(), true);
    EXPECT_TRUE(created_and_discarded(&fresh.job, path, &entry.extras));
    EXPECT_EQ(fresh.result(), 0);
    EXPECT_EQ(fresh.text(), "");
    write_file(path, "kept");

    TestJob skipped(archive.get(), true);
    EXPECT_FALSE(created_and_discarded(&skipped.job, path, &entry.extras));
    EXPECT_EQ(skipped.result(), VARNO_WARNING_FILE_EXISTS);
    EXPECT_EQ(skipped.lines(), std::vector<std::string>{"Skip(exist): " + ansi(path)});
    EXPECT_EQ(read_file(path), "kept");

    archive->options.overwriteMode = 2;
    TestJob replaced(archive.get(), true);
    EXPECT_TRUE(created_and_discarded(&replaced.job, path, &entry.extras));
    EXPECT_EQ(replaced.lines(), std::vector<std::string>{"overwrite: " + ansi(path)});
    EXPECT_EQ(names_in(dir.path()), std::vector<std::wstring>{L"new.txt"});
    EXPECT_EQ(read_file(path), "kept");  // a replacement given up leaves the file as it was
}

// A replacement is written into a hidden file beside the existing one, which stays as it was
// until the replacement is whole and takes its place with the entry's times and a new file's
// attributes (protective ones gone); a backup keeps the existing file whole under its new name.
TEST(CreateOutputFile, AWholeReplacementTakesTheExistingFilesPlace)
{
    const uint64_t existingTime = utc_from_local(2022, 3, 4, 10, 20, 30, 0);
    const uint64_t entryTime = existingTime + 3600 * kSecond;
    struct Case {
        int32_t mode;
        DWORD attributes;  // of the existing file
        size_t notices;    // a protected file is put to the policy twice
        std::vector<std::wstring> names;
    };
    const Case cases[] = {
        {2, FILE_ATTRIBUTE_ARCHIVE, 1, {L"a.txt"}},
        {2, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 2, {L"a.txt"}},
        {4, FILE_ATTRIBUTE_READONLY, 0, {L"a.txt", L"a~.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", attributes " << c.attributes);
        TempDir dir;
        std::wstring path = dir.file(L"a.txt");
        write_file(path, "old");
        ASSERT_TRUE(set_write_time(path, existingTime));
        SetFileAttributesW(path.c_str(), c.attributes);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        TestArchive archive(c.mode);
        TestJob job(archive.get(), true);
        TestEntry entry(0, 0, 3);
        entry.set_write_time(entryTime);
        OutputFile file;
        ASSERT_TRUE(create_output_file(&job.job, &path[0], &entry.extras, &file));
        const std::wstring temporary = file.temporaryPath;
        EXPECT_EQ(temporary.substr(0, dir.path().size() + 7), dir.path() + L"\\.varno");
        EXPECT_EQ(temporary.size(), dir.path().size() + 15);
        EXPECT_NE(GetFileAttributesW(temporary.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
        DWORD written = 0;
        WriteFile(file.handle, "new", 3, &written, nullptr);
        EXPECT_EQ(read_file(path), "old");
        EXPECT_TRUE(finish_output_file(&job.job, path.c_str(), &file, &entry.extras));
        EXPECT_EQ(job.lines().size(), c.notices);
        EXPECT_EQ(read_file(path), "new");
        EXPECT_EQ(write_time_of(path), entryTime);
        EXPECT_EQ(GetFileAttributesW(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
        EXPECT_EQ(names_in(dir.path()), c.names);
        if (c.mode == 4) {
            EXPECT_EQ(read_file(dir.file(L"a~.txt")), "old");
            EXPECT_EQ(write_time_of(dir.file(L"a~.txt")), existingTime);
            EXPECT_EQ(GetFileAttributesW(dir.file(L"a~.txt").c_str()), attributes);
        }
    }
}

// A temporary file that a killed run left is never taken for an entry's file: the next
// replacement passes over its name and leaves it alone.
TEST(CreateOutputFile, TemporaryFilesOfAnEarlierRunAreLeftAlone)
{
    TempDir dir;
    std::wstring path = dir.file(L"a.txt");
    write_file(path, "old");
    TestArchive archive(2, 1);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 3);
    OutputFile file;
    ASSERT_TRUE(create_output_file(&job.job, &path[0], &entry.extras, &file));
    const std::wstring first = file.temporaryPath;
    discard_output_file(&file);
    wchar_t next[16];  // the name the next replacement would take
    wsprintfW(next, L".varno%08X", wcstoul(first.c_str() + first.size() - 8, nullptr, 16) + 1);
    write_file(dir.file(next), "left");
    EXPECT_TRUE(written_and_finished(&job.job, path, &entry.extras, "new"));
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::wstring>{next, L"a.txt"}));
    EXPECT_EQ(read_file(dir.file(next)), "left");
}

// The Unix path of a Windows path under Wine; empty elsewhere.
std::wstring unix_path(const std::wstring& path)
{
    using Fn = char*(CDECL*)(LPCWSTR);
    auto get = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!get)
        return L"";
    char* name = get(path.c_str());
    if (!name)
        return L"";
    std::wstring out = from_utf8(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// Runs one of the system's programs (given by its Windows path) on a Unix path under Wine and
// waits for it. Wine starts the program but cannot report its exit code: the caller looks for
// its effect, which may take a moment to be seen, and calls `done` until it is (5 s at most).
bool run_system_program(const std::wstring& program, const std::wstring& unixPath, const std::function<bool()>& done)
{
    if (unixPath.empty())
        return false;
    std::wstring command = program + L" \"" + unixPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int i = 0; i < 250; ++i) {
        if (done())
            return true;
        Sleep(20);
    }
    return false;
}

// Under Wine a process running as root may replace a read-only file, where Windows refuses it.
// The refusal is brought back with the file system's immutable flag, set and cleared by the
// system's chattr; Wine reports the refusal as ERROR_ACCESS_DENIED, as Windows does.
class Immutable {
public:
    explicit Immutable(const std::wstring& path) : windowsPath_(path), unixPath_(unix_path(path)) { on_ = set(true); }
    ~Immutable() { lift(); }
    bool on() const { return on_; }
    void lift()
    {
        if (on_)
            on_ = !set(false);
    }

private:
    bool set(bool immutable) const
    {
        return run_system_program(immutable ? L"Z:\\usr\\bin\\chattr +i" : L"Z:\\usr\\bin\\chattr -i", unixPath_,
                                  [&] { return writable() != immutable; });
    }
    bool writable() const
    {
        HANDLE f = CreateFileW(windowsPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(f);
        return true;
    }
    std::wstring windowsPath_;
    std::wstring unixPath_;
    bool on_ = false;
};

// A folder that is a file system of 1 MiB of its own while the object lives: a tmpfs mounted
// with the system's mount, which needs root.
class SmallVolume {
public:
    explicit SmallVolume(const std::wstring& folder) : folder_(folder), unixPath_(unix_path(folder))
    {
        mounted_ = run_system_program(L"Z:\\usr\\bin\\mount -t tmpfs -o size=1m varno-test", unixPath_, [this] { return small(); });
    }
    ~SmallVolume()
    {
        if (mounted_)
            run_system_program(L"Z:\\usr\\bin\\umount", unixPath_, [this] { return !small(); });
    }
    bool mounted() const { return mounted_; }

private:
    bool small() const
    {
        ULARGE_INTEGER total;
        return GetDiskFreeSpaceExW(folder_.c_str(), nullptr, &total, nullptr) && total.QuadPart <= (1u << 20);
    }
    std::wstring folder_;
    std::wstring unixPath_;
    bool mounted_ = false;
};

// A read-only file that cannot be replaced while it is read-only.
std::wstring make_protected_file(const TempDir& dir)
{
    const std::wstring path = dir.file(L"ro.txt");
    write_file(path, "old");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    return path;
}

TEST(CreateOutputFile, ProtectedFileIsPutToThePolicyTwice)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    const std::wstring path = make_protected_file(dir);
    Immutable refused(path);
    if (!refused.on())
        GTEST_SKIP() << "the file system's immutable flag is not available";
    TestArchive archive(2);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 0);
    BoxWatch boxes;
    // The read-only attribute cannot be cleared, so the whole replacement cannot take the
    // file's place: it goes, and the file keeps its bytes and its protection.
    std::wstring target = path;
    EXPECT_FALSE(written_and_finished(&job.job, target, &entry.extras, "new"));
    EXPECT_EQ(job.result(), VARNO_ERROR_OUTPUT_FILE);
    const std::string overwrite = "overwrite: " + ansi(path);
    const std::wstring report = path + L" :\n" + system_text(ERROR_ACCESS_DENIED) + L"(5)";
    EXPECT_EQ(job.text(), overwrite + "\r\n" + overwrite + "\r\n" + ansi(report));
    refused.lift();
    EXPECT_EQ(read_file(path), "old");
    EXPECT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::wstring>{L"ro.txt"});
    EXPECT_EQ(boxes.seen(), std::vector<std::wstring>{report});
}

TEST(CreateOutputFile, ProtectedFileInAskModeIsAskedAboutTwiceUnlessTheAnswerCoversAllFiles)
{
    SKIP_WITHOUT_DESKTOP();
    struct Case {
        std::vector<int> answers;
        int asked;
        bool lift;  // the refusal ends while the second question is open
        bool replaced;
        int32_t result;
    };
    const Case cases[] = {
        {{IDYES, IDYES}, 2, true, true, VARNO_WARNING_FILE_EXISTS},
        {{IDYES, IDNO}, 2, true, false, VARNO_WARNING_FILE_EXISTS},
        {{IDC_OVERWRITE_ALL}, 1, false, false, VARNO_ERROR_OUTPUT_FILE},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::wstring path = make_protected_file(dir);
        Immutable refused(path);
        if (!refused.on())
            GTEST_SKIP() << "the file system's immutable flag is not available";
        TestArchive archive(0);
        TestJob job(archive.get(), true);
        TestEntry entry(0, 0, 0);
        BoxWatch boxes;
        std::atomic<int> asked{0};
        WindowWatch script(L"Exist file - varno", [&](HWND dialog) {
            const size_t i = static_cast<size_t>(asked++);
            if (i == 1 && c.lift)
                refused.lift();
            press(dialog, i < c.answers.size() ? c.answers[i] : IDCANCEL);
        });
        std::wstring target = path;
        EXPECT_EQ(written_and_finished(&job.job, target, &entry.extras, ""), c.replaced);
        EXPECT_EQ(asked.load(), c.asked);
        if (!c.replaced)
            EXPECT_EQ(job.result(), c.result);
        refused.lift();
        EXPECT_EQ(read_file(path), c.replaced ? "" : "old");
        // Only the read-only attribute is taken away, and only from a file that is replaced.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, !c.replaced);
    }
}

TEST(CreateOutputFile, APathNamingADirectoryIsReportedWithError5AndABox)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    const std::wstring path = dir.file(L"sub");
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    TestArchive archive(2);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 0);
    BoxWatch boxes;
    std::wstring target = path;
    EXPECT_FALSE(created_and_discarded(&job.job, target, &entry.extras));
    EXPECT_EQ(job.result(), VARNO_ERROR_OUTPUT_FILE);
    const std::wstring report = path + L" :\n" + system_text(ERROR_ACCESS_DENIED) + L"(5)";
    const std::string text = job.text();
    ASSERT_GE(text.size(), ansi(report).size());
    EXPECT_EQ(text.substr(text.size() - ansi(report).size()), ansi(report));
    const std::vector<std::wstring> seen = boxes.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], report);

    // Without bit 0 neither the line nor the box appears; the result is the same.
    TestArchive quiet(2, 2);
    TestJob silent(quiet.get(), true);
    EXPECT_FALSE(created_and_discarded(&silent.job, target, &entry.extras));
    EXPECT_EQ(silent.result(), VARNO_ERROR_OUTPUT_FILE);
    for (const std::string& line : silent.lines())
        EXPECT_EQ(line.find("(5)"), std::string::npos) << line;
    Sleep(300);
    EXPECT_EQ(boxes.seen().size(), 1u);
}

TEST(CreateOutputFile, MissingDirectoriesAreMadeLevelByLevel)
{
    BoxWatch boxes;  // none is expected; a stray one must not hang the test
    TempDir dir;
    std::wstring path = dir.path() + L"\\one/two\\three.txt";
    TestArchive archive(0);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 0);
    EXPECT_TRUE(written_and_finished(&job.job, path, &entry.extras, ""));
    EXPECT_EQ(job.text(), "");
    EXPECT_TRUE(GetFileAttributesW(dir.file(L"one\\two").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(file_exists(dir.file(L"one\\two\\three.txt")));
    EXPECT_EQ(path, dir.path() + L"\\one/two\\three.txt");  // the caller's path is left as it was
    EXPECT_TRUE(boxes.seen().empty());
}

TEST(CreateOutputFile, DirectoryFailuresAndPathsWithoutDirectory)
{
    BoxWatch boxes;  // none is expected; a stray one must not hang the test
    TempDir dir;
    write_file(dir.file(L"plain"), "x");
    TestArchive archive(0);
    TestEntry entry(0, 0, 0);

    // A file stands where a directory is needed.
    std::wstring blocked = dir.file(L"plain\\sub\\f.txt");
    TestJob job(archive.get(), true);
    EXPECT_FALSE(created_and_discarded(&job.job, blocked, &entry.extras));
    EXPECT_EQ(job.result(), VARNO_ERROR_MAKE_DIRECTORY);
    EXPECT_EQ(job.lines(), std::vector<std::string>{"Directory create error(3): " + ansi(dir.file(L"plain\\sub"))});

    // No separator at all: nothing to make. The current directory of a drive that does not
    // exist is such a path.
    std::wstring bare = L"Q:";
    if (GetFileAttributesW(L"Q:\\") == INVALID_FILE_ATTRIBUTES) {
        TestJob noDir(archive.get(), true);
        EXPECT_FALSE(created_and_discarded(&noDir.job, bare, &entry.extras));
        EXPECT_EQ(noDir.result(), VARNO_ERROR_OUTPUT_FILE);
        EXPECT_EQ(noDir.lines(), std::vector<std::string>{"path not found: Q:"});
    }
    EXPECT_TRUE(boxes.seen().empty());
}

// A directory that still cannot be entered after it was made is final; a path of 260 units or
// more is then reported as too long.
TEST(CreateOutputFile, StillMissingDirectoryAfterMakingIt)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    write_file(dir.file(L"plain"), "x");
    TestArchive archive(0);
    TestEntry entry(0, 0, 0);
    BoxWatch boxes;
    for (const size_t nameLength : {size_t(10), size_t(230)}) {
        // "plain" exists as a file, so making "plain" as a directory reports success, and the
        // file still cannot be created below it.
        std::wstring path = dir.file(L"plain\\" + std::wstring(nameLength, L'n'));
        TestJob job(archive.get(), true);
        EXPECT_FALSE(created_and_discarded(&job.job, path, &entry.extras));
        EXPECT_EQ(job.result(), VARNO_ERROR_OUTPUT_FILE);
        const DWORD error = path.size() >= 260 ? ERROR_FILENAME_EXCED_RANGE : ERROR_PATH_NOT_FOUND;
        const std::string report = ansi(path + L" :\n" + system_text(error)) + "(" + std::to_string(error) + ")";
        EXPECT_EQ(job.text(), report);
    }
    Sleep(200);
    EXPECT_EQ(boxes.seen().size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// backup_existing_file and make_directories

TEST(BackupExistingFile, NamesTheBackupAfterTheExistingOnes)
{
    struct Case {
        const wchar_t* file;
        std::vector<const wchar_t*> present;
        const wchar_t* backup;
    };
    const Case cases[] = {
        {L"a.txt", {}, L"a~.txt"},
        {L"a.txt", {L"a~.txt"}, L"a~1.txt"},
        {L"a.txt", {L"a~.txt", L"a~1.txt"}, L"a~2.txt"},
        {L"a~3.txt", {}, L"a~3~4.txt"},
        {L"a~.txt", {}, L"a~~1.txt"},
        {L"report", {}, L"report~"},
        {L"12.txt", {}, L"12~.txt"},
        {L"dir.d\\notes", {}, L"dir.d\\notes~"},
        {L"x.tar.gz", {}, L"x.tar~.gz"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        CreateDirectoryW(dir.file(L"dir.d").c_str(), nullptr);
        const std::wstring path = dir.file(c.file);
        write_file(path, "original");
        for (const wchar_t* other : c.present)
            write_file(dir.file(other), "other");
        EXPECT_EQ(backup_existing_file(path.c_str()), 0u) << ansi(c.file);
        EXPECT_FALSE(file_exists(path)) << ansi(c.file);
        EXPECT_EQ(read_file(dir.file(c.backup)), "original") << ansi(c.file);
        for (const wchar_t* other : c.present)
            EXPECT_EQ(read_file(dir.file(other)), "other") << ansi(other);
    }
}

TEST(BackupExistingFile, FailuresComeBackAsSystemErrors)
{
    TempDir dir;
    EXPECT_EQ(backup_existing_file(dir.file(L"missing.txt").c_str()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The backup name ("~" put before ".txt") must stay below 1200 units. Folders of 200
    // units each keep every component short enough for the file system.
    auto long_name = [&](size_t units) {
        std::wstring path = dir.path();
        while (path.size() + 201 < units - 4)
            path += L"\\" + std::wstring(200, L'd');
        path += L"\\";
        path += std::wstring(units - 4 - path.size(), L'y') + L".txt";
        return path;
    };
    const std::wstring fits = long_name(1198);  // backup name of 1199 units
    ASSERT_EQ(fits.size(), 1198u);
    EXPECT_EQ(backup_existing_file(fits.c_str()), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    const std::wstring reaches = long_name(1199);
    ASSERT_EQ(reaches.size(), 1199u);
    EXPECT_EQ(backup_existing_file(reaches.c_str()), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(MakeDirectories, MakesEveryMissingLevel)
{
    TempDir dir;
    std::wstring path = dir.path() + L"\\a/b/c";
    EXPECT_EQ(make_directories(&path[0]), 0u);
    EXPECT_EQ(path, dir.path() + L"\\a\\b\\c");  // every separator split off comes back as '\'
    EXPECT_NE(GetFileAttributesW(dir.file(L"a\\b\\c").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(make_directories(&path[0]), 0u);  // already there

    write_file(dir.file(L"f"), "x");
    std::wstring underFile = dir.file(L"f\\g\\h");
    EXPECT_EQ(make_directories(&underFile[0]), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    std::wstring root = L"C:\\";
    EXPECT_EQ(make_directories(&root[0]), 0u);
    std::wstring nothing = L"";
    EXPECT_NE(make_directories(&nothing[0]), 0u);
}

// ---------------------------------------------------------------------------------------------
// Failed replacements through the command exports, on the caller's thread and with eight
// workers (the linked library, told that the volume is fast). The progress window's cancel is
// tried with an existing file in progress_window_test.

TEST(FailedReplacement, EveryKindOfFailureKeepsTheExistingFileAndNoTemporaryFile)
{
    SKIP_WITHOUT_DESKTOP();
    const uint64_t preciousTime = utc_from_local(2001, 2, 3, 4, 5, 6, 0);
    const std::string data = text_of(300000);
    std::string corrupt = ziptest::deflate_raw(data);
    corrupt[0] = 0x07;  // a last block of the invalid type 3
    enum Setup { plain, heldOpen, smallVolume };
    struct Case {
        ziptest::Entry entry;  // named a.txt, like the existing file
        const char* options;
        Setup setup;
        int32_t result;
        std::wstring message;  // a part of the output; {path} is the existing file's path
    };
    const Case cases[] = {
        {{.name = "a.txt", .data = data, .method = 8, .compressed = corrupt}, "", plain, VARNO_ERROR_DATA,
         L"Decode error -3 : {path}"},
        {{.name = "a.txt", .data = data, .method = 8, .crc = 1}, "--verify", plain, VARNO_ERROR_DATA, L"CRC error : {path}"},
        {{.name = "a.txt", .data = data, .method = 8, .uncompressedSizeField = 1000}, "--verify", plain, VARNO_ERROR_DATA,
         L"Size error : {path}"},
        {{.name = "a.txt", .data = data, .method = 8, .password = "secret"}, "", plain, VARNO_ERROR_CANCELLED,
         L"user cancel"},  // the password dialog is cancelled
        {{.name = "a.txt", .data = data, .method = 8}, "", heldOpen, VARNO_ERROR_OUTPUT_FILE,
         L"{path} :\n" + system_text(ERROR_SHARING_VIOLATION) + L"(32)"},
        {{.name = "a.txt", .data = noise_of(3 << 20)}, "", smallVolume, VARNO_ERROR_OUTPUT_FILE,
         L"Write error 112 : "},  // any worker may be the first to meet the full disk
    };
    bool volumeMade = true;
    for (const bool workers : {false, true}) {
        const Library library = workers ? Library::linked : Library::dll;
        StorageAnswerScope answer(workers ? StorageAnswer::fast : StorageAnswer::fromVolume);
        for (const Case& c : cases) {
            SCOPED_TRACE(to_ansi(c.message) + (workers ? ", -R8" : ", -R0"));
            TempDir dir;
            const std::wstring out = dir.file(L"out");
            ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
            std::unique_ptr<SmallVolume> volume(c.setup == smallVolume ? new SmallVolume(out) : nullptr);
            if (volume && !volume->mounted()) {
                volumeMade = false;
                continue;
            }
            std::vector<ziptest::Entry> entries = {c.entry};  // and enough others for workers
            for (int i = 0; i < 40; ++i)
                entries.insert(entries.begin(), {.name = "f" + std::to_string(i) + ".txt", .data = text_of(100, i)});
            write_file(dir.file(L"a.zip"), ziptest::build_zip(entries));
            const std::wstring precious = out + L"\\a.txt";
            write_file(precious, "precious");
            ASSERT_TRUE(set_write_time(precious, preciousTime));
            SetFileAttributesW(precious.c_str(), FILE_ATTRIBUTE_READONLY);
            const DWORD attributes = GetFileAttributesW(precious.c_str());

            HANDLE holder = c.setup == heldOpen ? CreateFileW(precious.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                              OPEN_EXISTING, 0, nullptr)
                                                : INVALID_HANDLE_VALUE;
            run("Varno", "-P \"\" nothing.zip", 4096, library);  // no password: the dialog asks
            WindowWatch password(dir.file(L"a.zip"), [](HWND dialog) {
                if (GetDlgItem(dialog, IDC_PASSWORD_EDIT))
                    press(dialog, IDCANCEL);
            });
            BoxWatch boxes;
            const std::string command = std::string("-o ") + c.options + (workers ? " -R8 " : " -R0 ") +
                                        quoted(to_ansi(dir.file(L"a.zip"))) + " " + quoted(to_ansi(out));
            const CommandResult r = run("Varno", command, 65536, library);
            if (holder != INVALID_HANDLE_VALUE)
                CloseHandle(holder);

            EXPECT_EQ(r.code, c.result) << r.output;
            std::wstring message = c.message;
            if (const size_t at = message.find(L"{path}"); at != std::wstring::npos)
                message.replace(at, 6, precious);
            // A cancelled job drops the messages of its workers.
            if (!workers || c.result != VARNO_ERROR_CANCELLED)
                EXPECT_NE(r.output.find(ansi(message)), std::string::npos) << r.output;
            EXPECT_EQ(boxes.seen().size(), c.setup == heldOpen ? 1u : 0u);
            EXPECT_EQ(read_file(precious), "precious");
            EXPECT_EQ(write_time_of(precious), preciousTime);
            EXPECT_EQ(GetFileAttributesW(precious.c_str()), attributes);
            for (const std::wstring& name : names_in(out))  // only entries' own files
                EXPECT_TRUE(name[0] != L'.' && name.size() <= 7) << ansi(name);
        }
    }
    if (!volumeMade)
        GTEST_SKIP() << "disk full not tried: no small volume could be mounted (that needs root)";
}

}  // namespace
