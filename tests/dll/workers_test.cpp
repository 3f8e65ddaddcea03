// Worker threads: when they are used, how the directory is split among them, their messages,
// and their questions to the caller's thread (answered for real in the overwrite dialog).
// Every test runs twice: in the DLL with the output volume's own answer to the storage probe
// (under Wine the volume gives none and has no label, so at most two workers run), and in the
// library linked into this program told that the volume is fast, so that up to eight workers
// run, as on a machine with a solid-state disk.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <vector>

#include "dll_host.h"
#include "process_counts.h"
#include "resources/resource_ids.h"
#include "test_data.h"
#include "test_files.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

std::vector<Entry> numbered(int count, size_t size = 10)
{
    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({.name = "f" + std::to_string(i), .data = text_of(size, i + 1)});
    return entries;
}

// The sizes of the workers' runs, read from the per-file lines of each worker's message block;
// only meaningful while each worker's lines fit its buffer and arrive as one block.
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

// Contiguous runs of entries / workers records, the last worker taking the rest; ascending.
std::vector<int> even_runs(int entries, int workers)
{
    std::vector<int> runs(workers, entries / workers);
    runs.back() += entries % workers;
    return runs;
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

struct Setup {
    const char* name;
    Library library;
    StorageAnswer answer;
};

class Workers : public testing::TestWithParam<Setup> {
protected:
    // The workers a call may start with this thread count when it writes into a temporary folder.
    int limit(int threadCount) const
    {
        const bool slow = GetParam().answer != StorageAnswer::fast && probe_storage_kind(TempDir().path().c_str()) != 0;
        return slow ? std::min(threadCount, 2) : threadCount;
    }
    CommandResult command(const char* exportName, const std::string& text, DWORD bufferSize) const
    {
        return run(exportName, text, bufferSize, GetParam().library);
    }

private:
    StorageAnswerScope answer_{GetParam().answer};
};

TEST_P(Workers, ThreadRuleRunsAndMessages)
{
    const struct {
        int entries;
        int threads;
        int workers;  // on a fast volume
    } cases[] = {
        {39, 4, 0}, {40, 4, 4}, {41, 4, 4}, {100, 4, 4}, {1000, 4, 4}, {40, 8, 8},
        {41, 8, 8}, {100, 8, 8}, {1000, 8, 8}, {100, 0, 0}, {3000, 8, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.entries) + " entries, -R" + std::to_string(c.threads));
        const int workers = std::min(c.workers, limit(c.threads));
        Job job(numbered(c.entries));
        const int threadsBefore = thread_count();
        const CommandResult r =
            command("Varno", "-o --q -R" + std::to_string(c.threads) + " " + job.archive + " " + job.out, 1 << 22);
        EXPECT_EQ(thread_count(), threadsBefore);
        EXPECT_EQ(r.code, 0);

        // Every file's line exactly once, one diagnostic and one end line per worker, nothing else.
        std::multiset<std::string> lines;
        for (const std::string& line : lines_of(r.output)) {
            if (!line.empty())
                lines.insert(line);
        }
        EXPECT_EQ(count_of(r.output, "[Thread END:"), workers);
        if (workers > 0) {
            const std::string diagnostic =
                "multimode thread:" + std::to_string(workers) + " step:" + std::to_string(c.entries / workers);
            EXPECT_EQ(r.output.rfind(diagnostic, 0), 0u) << r.output.substr(0, 100);
            EXPECT_EQ(lines.count(diagnostic), 1u);
        } else {
            EXPECT_EQ(count_of(r.output, "multimode"), 0);
        }
        EXPECT_EQ(lines.size(), static_cast<size_t>(c.entries + workers + (workers > 0)));
        for (int i = 0; i < c.entries; ++i) {
            const std::wstring path = job.dir.file(L"out\\f" + std::to_wstring(i));
            ASSERT_EQ(lines.count(to_ansi(path)), 1u) << i;
            ASSERT_EQ(read_file(path), text_of(10, i + 1)) << i;
        }
        // A worker's lines arrive as one block while they fit its buffer: about twenty of them.
        if (workers > 0 && c.entries / workers <= 20)
            EXPECT_EQ(run_sizes(r.output), even_runs(c.entries, workers)) << r.output.substr(0, 300);
    }
}

TEST_P(Workers, LargeArchivesUseWorkersForFewEntries)
{
    std::vector<Entry> entries = numbered(3);
    entries[1].data = std::string(100000000, 'z');
    Job job(entries);
    const CommandResult r = command("Varno", "-o --q -R4 " + job.archive + " " + job.out, 1 << 20);
    EXPECT_EQ(r.code, 0);
    const int workers = std::min(3, limit(4));
    EXPECT_EQ(run_sizes(r.output), even_runs(3, workers));
    EXPECT_EQ(r.output.rfind("multimode thread:" + std::to_string(workers) + " step:1", 0), 0u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(read_file(job.dir.file(L"out\\f" + std::to_wstring(i))) == entries[i].data) << i;
}

TEST_P(Workers, SkipAllAnsweredPartwayReachesEveryWorker)
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
        r = command("UnZip", "--q -R8 " + job.archive + " " + job.out, 1 << 24);
    }
    EXPECT_EQ(thread_count(), threadsBefore);
    EXPECT_EQ(r.code, 0) << r.output.substr(0, 500);
    EXPECT_EQ(asked.load(), 4);
    EXPECT_EQ(count_of(r.output, "[Thread END:"), limit(8));
    int replaced = 0;
    std::multiset<std::string> seen;
    for (const std::string& line : lines_of(r.output)) {
        if (!line.empty() && line.rfind("multimode", 0) != 0 && line.rfind("[Thread END:", 0) != 0)
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
            EXPECT_EQ(seen.count(shown), 1u) << shown;
        }
    }
    EXPECT_EQ(replaced, 3);
    EXPECT_EQ(seen.size(), static_cast<size_t>(count + replaced));
}

TEST_P(Workers, CancelStopsEveryWorkerAndRemovesHalfWrittenFiles)
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
        r = command("UnZip", "--q -R8 " + job.archive + " " + job.out, 1 << 20);
    }
    EXPECT_EQ(thread_count(), threadsBefore);
    EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED);
    EXPECT_EQ(r.output.rfind("multimode thread:" + std::to_string(limit(8)), 0), 0u) << r.output.substr(0, 100);
    for (int i = 0; i < count; ++i) {
        const std::wstring path = job.dir.file(L"out\\big" + std::to_wstring(i));
        if (!file_exists(path))
            continue;
        const std::string bytes = read_file(path);
        EXPECT_TRUE(bytes == "old" || bytes == entries[i].data) << "half-written " << i << ": " << bytes.size();
    }
}

// Records that write one file (the same name twice, names that differ only in case or in a
// trailing dot) placed so that they fall to different workers, the first one large: whatever
// thread gets where first, the workers give the tree and result of one thread.
TEST_P(Workers, RecordsOfOneFileGiveWhatOneThreadGives)
{
    std::vector<Entry> entries = numbered(40);
    entries[0] = {.name = "dup.bin", .data = noise_of(4 << 20, 1)};
    entries[20].data = noise_of(2 << 20, 2);  // keeps the next one's worker busy meanwhile
    entries[21] = {.name = "dup.bin", .data = "the second dup.bin", .dosTime = 0x6100};
    entries[30] = {.name = "Case.txt", .data = "first"};
    entries[35] = {.name = "CASE.TXT.", .data = "second", .dosTime = 0x6100};
    Job job(entries);
    const auto tree = [](const TempDir& out) {
        std::map<std::wstring, std::string> files;
        for (const auto& [name, file] : snapshot_tree(out.path()))
            files[name] = file.directory ? "/" : file.bytes;
        return files;
    };
    const struct {
        const char* exportName;
        const char* options;
        int answer;  // pressed in the overwrite dialog, 0 where none may appear
    } modes[] = {{"Varno", "", 0},  {"Varno", "-o", 0}, {"Varno", "-n", 0}, {"Varno", "-B", 0},
                 {"Varno", "-o --verify", 0}, {"UnZip", "", IDYES}};
    for (const auto& mode : modes) {
        if (mode.answer && no_desktop_reason())
            continue;
        SCOPED_TRACE(std::string(mode.exportName) + " " + mode.options);
        WindowWatch watch(L"Exist file - varno", [&](HWND dialog) { press(dialog, mode.answer ? mode.answer : IDCANCEL); });
        WindowWatch boxes(L"varno.dll", [](HWND box) { press(box, IDOK); });  // a file that could not be made
        const auto extract = [&](const TempDir& out, const char* threads) {
            return command(mode.exportName, std::string(mode.options) + " -q " + threads + " " + job.archive + " " +
                                                quoted(out.ansi()), 1 << 16);
        };
        TempDir first;
        const CommandResult one = extract(first, "-R0");
        const auto expected = tree(first);
        EXPECT_EQ(expected.size(), mode.options == std::string("-B") ? 40u : 38u);
        for (int round = 0; round < 3; ++round) {
            TempDir out;
            const CommandResult r = extract(out, "-R8");
            EXPECT_EQ(r.code, one.code) << r.output;
            EXPECT_TRUE(tree(out) == expected) << "round " << round;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, Workers,
                         testing::Values(Setup{"VolumeAnswer", Library::dll, StorageAnswer::fromVolume},
                                         Setup{"FastVolume", Library::linked, StorageAnswer::fast}),
                         [](const testing::TestParamInfo<Setup>& info) { return std::string(info.param.name); });

}  // namespace
