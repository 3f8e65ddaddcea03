// Worker threads: when they are used, how the directory is split among them, their messages,
// and their questions to the caller's thread (answered for real in the overwrite dialog).
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <sstream>
#include <vector>

#include "dll_host.h"
#include "extract/extraction_workers.h"
#include "resources/resource_ids.h"
#include "test_data.h"
#include "test_files.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

int thread_count()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    int count = 0;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

std::vector<Entry> numbered(int count, size_t size = 10)
{
    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({.name = "f" + std::to_string(i), .data = text_of(size, i + 1)});
    return entries;
}

// The sizes of the workers' runs, read from the per-file lines of each worker's message block.
std::vector<int> run_sizes(const std::string& output)
{
    std::vector<int> sizes;
    int files = 0;
    for (const std::string& line : lines_of(output)) {
        if (line.empty())
            continue;  // each file's line ends with its own CR LF
        if (line.rfind("[Thread END:", 0) == 0) {
            sizes.push_back(files);
            files = 0;
        } else if (line.rfind("multimode", 0) != 0) {
            ++files;
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

struct Job {
    TempDir dir;
    std::string archive;
    std::string out;
    explicit Job(const std::vector<Entry>& entries)
    {
        write_file(dir.file(L"w.zip"), ziptest::build_zip(entries));
        archive = quoted(to_ansi(dir.file(L"w.zip")));
        out = quoted(to_ansi(dir.file(L"out")));
    }
};

int count_of(const std::string& text, const std::string& word)
{
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

TEST(Workers, ThreadRuleAndRuns)
{
    // Under Wine the output volume may not be shown to be fast; then at most two workers run.
    const bool slow = probe_storage_kind(TempDir().path().c_str()) != 0;
    // Runs are checked where each worker's lines fit its buffer and arrive as one block.
    const struct {
        int entries;
        const char* threads;
        int workers;
        std::vector<int> runs;
    } cases[] = {
        {39, "-R4", 0, {}},
        {40, "-R4", slow ? 2 : 4, slow ? std::vector<int>{20, 20} : std::vector<int>{10, 10, 10, 10}},
        {41, "-R4", slow ? 2 : 4, slow ? std::vector<int>{20, 21} : std::vector<int>{10, 10, 10, 11}},
        {100, "-R0", 0, {}},
        {1000, "-R8", slow ? 2 : 8, {}},
    };
    for (const auto& c : cases) {
        Job job(numbered(c.entries));
        const CommandResult r = run("Varno", std::string("-o --q ") + c.threads + " " + job.archive + " " + job.out, 1 << 22);
        EXPECT_EQ(r.code, 0) << c.entries;
        EXPECT_EQ(count_of(r.output, "[Thread END:"), c.workers) << c.entries;
        if (!c.runs.empty())
            EXPECT_EQ(run_sizes(r.output), c.runs) << c.entries << "\n" << r.output.substr(0, 300);
        if (c.workers > 0) {
            const std::string diagnostic = "multimode thread:" + std::to_string(c.workers) +
                                           " step:" + std::to_string(c.entries / c.workers);
            EXPECT_EQ(r.output.rfind(diagnostic, 0), 0u) << r.output.substr(0, 100);
        } else {
            EXPECT_EQ(count_of(r.output, "multimode"), 0);
        }
        for (int i = 0; i < c.entries; ++i)
            ASSERT_EQ(read_file(job.dir.file(L"out\\f" + std::to_wstring(i))), text_of(10, i + 1)) << i;
    }
}

TEST(Workers, LargeArchivesUseWorkersForFewEntries)
{
    std::vector<Entry> entries = numbered(3);
    entries[1].data = std::string(100000000, 'z');
    Job job(entries);
    const CommandResult r = run("Varno", "-o --q -R4 " + job.archive + " " + job.out, 1 << 20);
    EXPECT_EQ(r.code, 0);
    const bool slow = probe_storage_kind(job.dir.path().c_str()) != 0;
    const std::vector<int> runs = slow ? std::vector<int>{1, 2} : std::vector<int>{1, 1, 1};
    EXPECT_EQ(run_sizes(r.output), runs);
    EXPECT_EQ(r.output.rfind(slow ? "multimode thread:2 step:1" : "multimode thread:3 step:1", 0), 0u);
}

TEST(Workers, SkipAllAnsweredPartwayReachesEveryWorker)
{
    SKIP_WITHOUT_DESKTOP();
    const int count = 2000;
    Job job(numbered(count));
    CreateDirectoryW(job.dir.file(L"out").c_str(), nullptr);
    for (int i = 0; i < count; ++i)
        write_file(job.dir.file(L"out\\f" + std::to_wstring(i)), "old");
    std::atomic<int> asked{0};
    const int threadsBefore = thread_count();
    CommandResult r;
    {
        WindowWatch watch(L"Exist file - varno", [&](HWND dialog) {
            press(dialog, ++asked <= 3 ? IDYES : IDC_SKIP_ALL);
        });
        r = run("UnZip", "-R8 " + job.archive + " " + job.out, 1 << 24);
    }
    EXPECT_EQ(thread_count(), threadsBefore);
    EXPECT_EQ(r.code, 0) << r.output.substr(0, 500);
    EXPECT_EQ(asked.load(), 4);
    int replaced = 0;
    std::multiset<std::string> seen;
    for (const std::string& line : lines_of(r.output)) {
        if (!line.empty())
            seen.insert(line);
    }
    for (int i = 0; i < count; ++i) {
        const std::wstring path = job.dir.file(L"out\\f" + std::to_wstring(i));
        const std::string bytes = read_file(path);
        const std::string shown = to_ansi(path);
        if (bytes == "old") {
            EXPECT_EQ(seen.count("Skip(exist): " + shown), 1u) << shown;
        } else {
            ++replaced;
            EXPECT_EQ(bytes, text_of(10, i + 1));
            EXPECT_EQ(seen.count("overwrite: " + shown), 1u) << shown;
        }
    }
    EXPECT_EQ(replaced, 3);
    EXPECT_EQ(seen.size(), static_cast<size_t>(count));
}

TEST(Workers, CancelStopsEveryWorkerAndRemovesHalfWrittenFiles)
{
    SKIP_WITHOUT_DESKTOP();
    const int count = 40;
    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({.name = "big" + std::to_string(i), .data = noise_of(3 << 20, i + 1)});
    Job job(entries);
    CreateDirectoryW(job.dir.file(L"out").c_str(), nullptr);
    for (int i = 0; i < count; i += 2)
        write_file(job.dir.file(L"out\\big" + std::to_wstring(i)), "old");
    const int threadsBefore = thread_count();
    CommandResult r;
    {
        WindowWatch watch(L"Exist file - varno", [&](HWND dialog) { press(dialog, IDCANCEL); });
        r = run("UnZip", "-R8 " + job.archive + " " + job.out, 1 << 20);
    }
    EXPECT_EQ(thread_count(), threadsBefore);
    EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED);
    for (int i = 0; i < count; ++i) {
        const std::wstring path = job.dir.file(L"out\\big" + std::to_wstring(i));
        if (!file_exists(path))
            continue;
        const std::string bytes = read_file(path);
        EXPECT_TRUE(bytes == "old" || bytes == entries[i].data) << "half-written " << i << ": " << bytes.size();
    }
}

}  // namespace
