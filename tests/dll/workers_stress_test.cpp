// Eight workers, over and over in one process: a large archive extracted twenty times while a
// second host thread runs other commands on the same library at the same time. In every round
// every file must be right and every message there exactly once, and nothing may stay behind:
// no thread after a round, no handle and no memory more after any round than after the first.
// The library linked into this program runs them, told that the volume is fast.
#include <windows.h>

#include <stdio.h>

#include <map>
#include <set>
#include <thread>
#include <vector>

#include "dll_host.h"
#include "process_counts.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

constexpr int kRounds = 20;
constexpr int kSmallEntries = 5000;

struct Archive {
    std::vector<Entry> entries;
    std::string path;  // quoted, for command strings
};

Archive make_archive(const TempDir& dir, const std::wstring& name, std::vector<Entry> entries)
{
    write_file(dir.file(name), ziptest::build_zip(entries));
    return {std::move(entries), quoted(to_ansi(dir.file(name)))};
}

// Small entries in fifty folders, stored and deflated by turns, with large ones among them so
// that several workers meet one.
std::vector<Entry> stress_entries()
{
    std::vector<Entry> entries;
    for (int i = 0; i < kSmallEntries; ++i) {
        const std::string name = "d" + std::to_string(i % 50) + "/s" + std::to_string(i) + ".txt";
        entries.push_back({.name = name, .data = text_of(40 + i % 900, i + 1), .method = uint16_t(i % 3 ? 8 : 0)});
        if (i % 1700 == 850)
            entries.push_back({.name = "large/t" + std::to_string(i) + ".txt", .data = text_of(12 << 20, i), .method = 8});
        if (i % 1700 == 1600)
            entries.push_back({.name = "large/n" + std::to_string(i) + ".bin", .data = noise_of(5 << 20, i)});
    }
    return entries;
}

std::wstring windows_name(const std::string& name)
{
    std::wstring out(name.begin(), name.end());
    for (wchar_t& c : out) {
        if (c == L'/')
            c = L'\\';
    }
    return out;
}

// Extracts the archive into a new folder below dir with -R threads and checks the result, every
// file and the messages: one line per file, the diagnostic and one end line per worker, each
// once. Returns what is wrong, or nothing; no test assertion, so that any thread may call it.
std::string extract_and_check(const Archive& archive, const TempDir& dir, const std::wstring& folder, int threads)
{
    const std::wstring out = dir.file(folder);
    // --i: a round that takes more than a second on a loaded machine would make the progress
    // window, whose first appearance sets up COM for the process for good, and the counts of
    // the rounds after it would be taken for a leak.
    const CommandResult r = run("Varno", "-o --q --i -R" + std::to_string(threads) + " " + archive.path + " " +
                                             quoted(to_ansi(out)),
                                1 << 21, Library::linked);
    if (r.code != 0)
        return "result " + std::to_string(r.code) + ": " + r.output.substr(0, 300);
    std::multiset<std::string> lines;
    for (const std::string& line : lines_of(r.output)) {
        if (!line.empty())
            lines.insert(line);
    }
    const int n = static_cast<int>(archive.entries.size());
    const std::string diagnostic = "multimode thread:" + std::to_string(threads) + " step:" + std::to_string(n / threads);
    if (lines.count(diagnostic) != 1)
        return "no line \"" + diagnostic + "\": " + r.output.substr(0, 300);
    int ends = 0;
    for (const std::string& line : lines)
        ends += line.rfind("[Thread END:", 0) == 0 && line.find(",res:0]") != std::string::npos;
    if (ends != threads)
        return std::to_string(ends) + " workers ended well";
    if (lines.size() != static_cast<size_t>(n + threads + 1))
        return std::to_string(lines.size()) + " lines";

    std::map<std::wstring, TreeFile> tree = snapshot_tree(out);
    for (const Entry& entry : archive.entries) {
        const std::wstring name = windows_name(entry.name);
        if (lines.count(to_ansi(out + L"\\" + name)) != 1)
            return "no single line for " + entry.name;
        const auto file = tree.find(name);
        if (file == tree.end() || file->second.bytes != entry.data)
            return "wrong or missing " + entry.name;
        tree.erase(file);
    }
    for (const auto& left : tree) {
        if (!left.second.directory)
            return "not in the archive: " + to_ansi(left.first);
    }
    return std::string();
}

struct Counts {
    int handles;
    uint64_t heap;
    uint64_t committed;
};

Counts counts_now() { return {handle_count(), heap_bytes_in_use(), committed_private_bytes()}; }

TEST(WorkersStress, TwentyRoundsOfEightWorkersBesideAnotherCommand)
{
    StorageAnswerScope fast(StorageAnswer::fast);
    TempDir dir;
    const Archive big = make_archive(dir, L"main.zip", stress_entries());
    std::vector<Entry> other;
    for (int i = 0; i < 400; ++i)
        other.push_back({.name = "o" + std::to_string(i), .data = text_of(200 + i, i + 7), .method = 8});
    const Archive second = make_archive(dir, L"other.zip", other);

    // The first trace starts the test framework's own watcher thread, which stays. The counts
    // after the first round are the base: heap bytes have not moved at all between rounds
    // here, committed memory moves by pages (one work area left behind is 2 MiB).
    SCOPED_TRACE("eight workers");
    const int threadsBefore = thread_count();
    Counts first = {};
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        const DWORD start = GetTickCount();
        {
            // The second host thread's command runs at the same time as the first part of the
            // main one: it starts first and takes a fraction of the time.
            TempDir outputs;
            std::string otherProblem;
            HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            std::thread host([&] {
                SetEvent(started);
                otherProblem = extract_and_check(second, outputs, L"other", 4);
            });
            WaitForSingleObject(started, INFINITE);
            CloseHandle(started);
            EXPECT_EQ(extract_and_check(big, outputs, L"big", 8), "");
            host.join();
            EXPECT_EQ(otherProblem, "");
        }
        EXPECT_EQ(thread_count(), threadsBefore);
        const Counts now = counts_now();
        if (round == 0)
            first = now;
        printf("[ round %2d ] %lu ms; handles %d, heap bytes %llu, committed bytes %llu\n", round + 1,
               GetTickCount() - start, now.handles, static_cast<unsigned long long>(now.heap),
               static_cast<unsigned long long>(now.committed));
        EXPECT_LE(now.handles, first.handles);
        EXPECT_LE(now.heap, first.heap + 4096);
        EXPECT_LE(now.committed, first.committed + (1 << 20));
        ASSERT_FALSE(HasFailure());
    }
}

}  // namespace
