// The overwrite question asked from worker threads for real: several workers share one archive
// handle and meet existing files at once, while this test's main thread plays the caller's
// thread (it answers requests as the job driver does) and a helper thread answers the dialogs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extract/output_files.h"
#include "output_job.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include "ui/overwrite_dialog.h"
#include "varno_results.h"
#include "window_watch.h"

using namespace dlltest;

namespace {

const wchar_t kTitle[] = L"Exist file - varno";
constexpr int kWorkers = 8;  // as many as one call can have
constexpr int kFiles = kWorkers * 3;

BOOL CALLBACK count_dialog(HWND window, LPARAM param)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && window_text(window) == kTitle)
        ++*reinterpret_cast<int*>(param);
    return TRUE;
}

int open_dialogs()
{
    int n = 0;
    EnumWindows(count_dialog, reinterpret_cast<LPARAM>(&n));
    return n;
}

struct Worker {
    Worker(ArchiveHandle* archive) : job(archive, false, 4096) {}
    TestJob job;
    std::vector<std::wstring> files;
    std::vector<int> decisions;
};

struct WorkerRun {
    std::vector<std::wstring> asked;  // the existing file named by each dialog, in order
    int mostOpen = 0;                 // dialogs open at once, seen while answering
    int answeredByCaller = 0;
    bool timedOut = false;
};

// Runs the workers to their end; the dialogs get `answers` in turn (Cancel when they run out).
WorkerRun run_workers(ArchiveHandle* archive, std::vector<Worker>& workers, const std::vector<int>& answers)
{
    WorkerRun run;
    std::mutex mutex;
    WindowWatch watch(kTitle, [&](HWND dialog) {
        const std::wstring text = item_text(dialog, IDC_OVERWRITE_TEXT);
        const std::wstring lead = L"Already exist file: ";
        const size_t end = text.find(L'\n');
        size_t index;
        {
            std::lock_guard<std::mutex> lock(mutex);
            run.mostOpen = std::max(run.mostOpen, open_dialogs());
            run.asked.push_back(text.rfind(lead, 0) == 0 && end != std::wstring::npos
                                    ? text.substr(lead.size(), end - lead.size())
                                    : text);
            index = run.asked.size() - 1;
        }
        press(dialog, index < answers.size() ? answers[index] : IDCANCEL);
    });

    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (Worker& worker : workers) {
        threads.emplace_back([&worker, &finished] {
            for (const std::wstring& file : worker.files) {
                TestEntry entry(0x5A21, 0x6000, 3);
                worker.decisions.push_back(
                    resolve_existing_file(&worker.job.job, file.c_str(), &entry.extras, ERROR_FILE_EXISTS));
                if (worker.job.result() > VARNO_LAST_NONFATAL)
                    break;
            }
            ++finished;
        });
    }
    // The caller's thread: answers each posted question, as the job driver's wait loop does.
    const DWORD start = GetTickCount();
    while (finished.load() < static_cast<int>(workers.size())) {
        if (archive->sharedState == -2) {
            answer_overwrite_request(archive);
            ++run.answeredByCaller;
        }
        if (GetTickCount() - start > 120000) {
            run.timedOut = true;
            InterlockedExchange(&archive->sharedState, 0x7FFF);  // release every waiting worker
            break;
        }
        Sleep(10);
    }
    for (std::thread& t : threads)
        t.join();
    return run;
}

TEST(OverwriteFromWorkers, OneQuestionAtATimeAndAnswersForAllFilesReachEveryWorker)
{
    SKIP_WITHOUT_DESKTOP();
    struct Case {
        const char* what;
        std::vector<int> answers;
        int asked;
        int32_t modeAfter;
        int overwritten;  // "overwrite: " lines
        int skipped;      // "Skip(exist): " lines
        int backups;  // decisions to back up
    };
    const Case cases[] = {
        {"yes, no, then skip all", {IDYES, IDNO, IDC_SKIP_ALL}, 3, 1, 1, kFiles - 1, 0},
        {"overwrite all at once", {IDC_OVERWRITE_ALL}, 1, 2, kFiles, 0, 0},
        {"back up all at once", {IDC_BACKUP_EXISTING}, 1, 4, 0, 0, kFiles},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        TestArchive archive(0);
        std::vector<Worker> workers;
        workers.reserve(kWorkers);  // each job's sink points into its own buffer
        for (int w = 0; w < kWorkers; ++w) {
            workers.emplace_back(archive.get());
            for (int f = 0; f < 3; ++f) {
                const std::wstring path = dir.file(L"w" + std::to_wstring(w) + L"f" + std::to_wstring(f) + L".txt");
                write_file(path, "old");
                workers.back().files.push_back(path);
            }
        }
        const WorkerRun run = run_workers(archive.get(), workers, c.answers);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(static_cast<int>(run.asked.size()), c.asked);
        EXPECT_EQ(run.answeredByCaller, c.asked);
        EXPECT_EQ(run.mostOpen, 1);
        EXPECT_EQ(archive->options.overwriteMode, c.modeAfter);
        EXPECT_EQ(archive->sharedState, 0);
        EXPECT_EQ(archive->dialogResult, 0u);

        // Every file is decided once, with one line at most, by its own worker.
        std::map<std::string, std::vector<std::string>> linesByFile;
        int overwritten = 0, skipped = 0;
        for (const Worker& worker : workers) {
            EXPECT_EQ(worker.decisions.size(), worker.files.size());
            EXPECT_EQ(worker.job.result(), VARNO_WARNING_FILE_EXISTS);
            for (const std::string& line : worker.job.lines()) {
                const size_t colon = line.find(": ");
                ASSERT_NE(colon, std::string::npos) << line;
                const std::string file = line.substr(colon + 2);
                linesByFile[file].push_back(line);
                bool own = false;
                for (const std::wstring& f : worker.files)
                    own = own || to_ansi(f) == file;
                EXPECT_TRUE(own) << line;
                overwritten += line.rfind("overwrite: ", 0) == 0;
                skipped += line.rfind("Skip(exist): ", 0) == 0;
            }
        }
        EXPECT_EQ(overwritten, c.overwritten);
        EXPECT_EQ(skipped, c.skipped);
        for (const auto& entry : linesByFile)
            EXPECT_EQ(entry.second.size(), 1u) << entry.first;

        // The questions named distinct files, and each got the answer given to it.
        for (size_t i = 0; i < run.asked.size(); ++i) {
            EXPECT_EQ(std::count(run.asked.begin(), run.asked.end(), run.asked[i]), 1);
            const std::string file = to_ansi(run.asked[i]);
            ASSERT_EQ(linesByFile.count(file) + (c.backups ? 1 : 0), 1u) << file;
            if (c.backups)
                continue;
            const bool yes = c.answers[i] == IDYES || c.answers[i] == IDC_OVERWRITE_ALL;
            EXPECT_EQ(linesByFile[file][0], (yes ? "overwrite: " : "Skip(exist): ") + file);
        }

        int backups = 0;
        for (const Worker& worker : workers)
            backups += static_cast<int>(std::count(worker.decisions.begin(), worker.decisions.end(), kBackUpExisting));
        EXPECT_EQ(backups, c.backups);
    }
}

TEST(OverwriteFromWorkers, CancelEndsEveryWaitingWorker)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    TestArchive archive(0);
    std::vector<Worker> workers;
    workers.reserve(kWorkers);
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back(archive.get());
        for (int f = 0; f < 3; ++f) {
            const std::wstring path = dir.file(L"c" + std::to_wstring(w) + L"f" + std::to_wstring(f) + L".txt");
            write_file(path, "old");
            workers.back().files.push_back(path);
        }
    }
    const WorkerRun run = run_workers(archive.get(), workers, {IDYES, IDCANCEL});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.asked.size(), 2u);  // nobody is asked after the cancel
    EXPECT_EQ(run.mostOpen, 1);
    EXPECT_EQ(archive->sharedState, VARNO_ERROR_CANCELLED);
    EXPECT_EQ(archive->options.overwriteMode, 0);

    int cancelLines = 0, overwriteLines = 0, otherLines = 0;
    for (const Worker& worker : workers) {
        EXPECT_EQ(worker.job.result(), VARNO_ERROR_CANCELLED);
        // Each worker stops at its cancelled decision: it never decides for a later file.
        ASSERT_FALSE(worker.decisions.empty());
        EXPECT_EQ(worker.decisions.back(), 0);
        for (const std::string& line : worker.job.lines()) {
            if (line == "User cancel")
                ++cancelLines;
            else if (line.rfind("overwrite: ", 0) == 0)
                ++overwriteLines;
            else
                ++otherLines;
        }
    }
    EXPECT_EQ(cancelLines, 1);
    EXPECT_EQ(overwriteLines, 1);
    EXPECT_EQ(otherLines, 0);
}

}  // namespace
