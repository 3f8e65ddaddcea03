// Output files on real folders: the existing-file policy of every mode, protective attributes,
// missing directories, failure reports with their message box, backup names.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/output_files.h"
#include "output_job.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include "varno_results.h"
#include "window_watch.h"

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

bool close_and_check(HANDLE file)
{
    if (!file || file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
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

TEST(ResolveExistingFile, BackupModeMovesTheFileAside)
{
    TempDir dir;
    const std::wstring path = dir.file(L"a.txt");
    write_file(path, "old");
    TestArchive archive(4);
    TestJob job(archive.get(), true);
    TestEntry entry(0, 0, 0);
    EXPECT_EQ(resolve_existing_file(&job.job, path.c_str(), &entry.extras, ERROR_FILE_EXISTS), 1);
    EXPECT_FALSE(file_exists(path));
    EXPECT_EQ(read_file(dir.file(L"a~.txt")), "old");
    EXPECT_EQ(job.text(), "");

    // A backup name of 1200 units or more is refused: the file stays and is skipped.
    const std::wstring longPath = dir.path() + L"\\" + std::wstring(1199 - 5 - dir.path().size(), L'x') + L".txt";
    ASSERT_EQ(longPath.size(), 1199u);
    TestJob second(archive.get(), true);
    EXPECT_EQ(resolve_existing_file(&second.job, longPath.c_str(), &entry.extras, ERROR_FILE_EXISTS), 0);
    EXPECT_EQ(second.result(), VARNO_WARNING_FILE_EXISTS);
    ASSERT_EQ(second.lines().size(), 1u);
    EXPECT_EQ(second.lines()[0].rfind("Backup error(206): " + ansi(dir.path()), 0), 0u) << second.lines()[0];
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
        bool backedUp;
    };
    const Case cases[] = {
        {IDYES, 1, 0, VARNO_WARNING_FILE_EXISTS, "overwrite: ", false},
        {IDNO, 0, 0, VARNO_WARNING_FILE_EXISTS, "Skip(exist): ", false},
        {IDC_OVERWRITE_ALL, 1, 2, VARNO_WARNING_FILE_EXISTS, "overwrite: ", false},
        {IDC_SKIP_ALL, 0, 1, VARNO_WARNING_FILE_EXISTS, "Skip(exist): ", false},
        {IDC_OVERWRITE_NEWER_ALL, 0, 3, VARNO_WARNING_FILE_EXISTS, "Skip(date): ", false},  // entry is older
        {IDC_BACKUP_EXISTING, 1, 4, VARNO_WARNING_FILE_EXISTS, nullptr, true},
        {IDCANCEL, 0, 0, VARNO_ERROR_CANCELLED, "User cancel", false},
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
        EXPECT_EQ(file_exists(dir.file(L"a~.txt")), c.backedUp) << c.answer;
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
    const std::wstring path = dir.file(L"new.txt");

    TestJob fresh(archive.get(), true);
    EXPECT_TRUE(close_and_check(create_output_file(&fresh.job, const_cast<wchar_t*>(path.c_str()), &entry.extras)));
    EXPECT_EQ(fresh.result(), 0);
    EXPECT_EQ(fresh.text(), "");
    write_file(path, "kept");

    TestJob skipped(archive.get(), true);
    EXPECT_EQ(create_output_file(&skipped.job, const_cast<wchar_t*>(path.c_str()), &entry.extras), nullptr);
    EXPECT_EQ(skipped.result(), VARNO_WARNING_FILE_EXISTS);
    EXPECT_EQ(skipped.lines(), std::vector<std::string>{"Skip(exist): " + ansi(path)});
    EXPECT_EQ(read_file(path), "kept");

    archive->options.overwriteMode = 2;
    TestJob replaced(archive.get(), true);
    HANDLE file = create_output_file(&replaced.job, const_cast<wchar_t*>(path.c_str()), &entry.extras);
    ASSERT_TRUE(file);
    LARGE_INTEGER size;
    EXPECT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 0);  // opened as a new, empty file
    CloseHandle(file);
    EXPECT_EQ(replaced.lines(), std::vector<std::string>{"overwrite: " + ansi(path)});
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
    static std::wstring unix_path(const std::wstring& path)
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
    // Wine starts the system's program but cannot report its exit code: the outcome is seen
    // in whether the file can be opened for writing.
    bool set(bool immutable) const
    {
        if (unixPath_.empty())
            return false;
        std::wstring command = L"Z:\\usr\\bin\\chattr " + std::wstring(immutable ? L"+i" : L"-i") + L" \"" + unixPath_ + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return false;
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        for (int i = 0; i < 250; ++i) {
            if (writable() != immutable)
                return true;
            Sleep(20);
        }
        return false;
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
    // The read-only attribute cannot be cleared either, so after the second decision the
    // creation fails with the refusal.
    EXPECT_EQ(create_output_file(&job.job, const_cast<wchar_t*>(path.c_str()), &entry.extras), nullptr);
    EXPECT_EQ(job.result(), VARNO_ERROR_OUTPUT_FILE);
    const std::string overwrite = "overwrite: " + ansi(path);
    const std::wstring report = path + L" :\n" + system_text(ERROR_ACCESS_DENIED) + L"(5)";
    EXPECT_EQ(job.text(), overwrite + "\r\n" + overwrite + "\r\n" + ansi(report));
    refused.lift();
    EXPECT_EQ(read_file(path), "old");
    EXPECT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
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
        HANDLE file = create_output_file(&job.job, const_cast<wchar_t*>(path.c_str()), &entry.extras);
        EXPECT_EQ(close_and_check(file), c.replaced);
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
    EXPECT_EQ(create_output_file(&job.job, const_cast<wchar_t*>(path.c_str()), &entry.extras), nullptr);
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
    EXPECT_EQ(create_output_file(&silent.job, const_cast<wchar_t*>(path.c_str()), &entry.extras), nullptr);
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
    EXPECT_TRUE(close_and_check(create_output_file(&job.job, &path[0], &entry.extras)));
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
    EXPECT_EQ(create_output_file(&job.job, &blocked[0], &entry.extras), nullptr);
    EXPECT_EQ(job.result(), VARNO_ERROR_MAKE_DIRECTORY);
    EXPECT_EQ(job.lines(), std::vector<std::string>{"Directory create error(3): " + ansi(dir.file(L"plain\\sub"))});

    // No separator at all: nothing to make. The current directory of a drive that does not
    // exist is such a path.
    std::wstring bare = L"Q:";
    if (GetFileAttributesW(L"Q:\\") == INVALID_FILE_ATTRIBUTES) {
        TestJob noDir(archive.get(), true);
        EXPECT_EQ(create_output_file(&noDir.job, &bare[0], &entry.extras), nullptr);
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
        EXPECT_EQ(create_output_file(&job.job, &path[0], &entry.extras), nullptr);
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

}  // namespace
