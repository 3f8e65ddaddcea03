// The progress window under a display: when it appears and when it never does, its question and
// both answers, and the taskbar values it sends. Wine's taskbar list takes the values and does
// nothing with them, so a taskbar list of the test's own is registered with COM, which then
// hands it to the library in place of the system's, and it logs what it was told.
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/library_state.h"
#include "dll_host.h"
#include "output_job.h"
#include "test_data.h"
#include "test_files.h"
#include "ui/progress_window.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

#define NOT_CALLED(name, ...) \
    STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }

// Given out by COM for CLSID_TaskbarList on the thread that made it, while it lives.
class FakeTaskbar : public ITaskbarList3, public IClassFactory {
public:
    explicit FakeTaskbar(bool hasProgress = true, bool refuse = false) : hasProgress_(hasProgress), refuse_(refuse)
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoRegisterClassObject(CLSID_TaskbarList, static_cast<IClassFactory*>(this), CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie_);
        registered_ = refs_;
    }
    virtual ~FakeTaskbar()
    {
        CoRevokeClassObject(cookie_);
        CoUninitialize();
    }
    bool released() const { return refs_ == registered_; }
    std::vector<std::string> log;  // a value for a window already destroyed is marked so
    int created = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
        if (iid == IID_IUnknown || iid == IID_ITaskbarList || (iid == IID_ITaskbarList3 && hasProgress_))
            *out = static_cast<ITaskbarList3*>(this);
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** out) override
    {
        ++created;
        return refuse_ ? REGDB_E_CLASSNOTREG : QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    STDMETHODIMP HrInit() override { return note(nullptr, "init"); }
    STDMETHODIMP SetProgressValue(HWND w, ULONGLONG done, ULONGLONG total) override
    {
        return note(w, "value " + std::to_string(done) + "/" + std::to_string(total));
    }
    STDMETHODIMP SetProgressState(HWND w, TBPFLAG flags) override { return note(w, "state " + std::to_string(flags)); }
    NOT_CALLED(AddTab, HWND) NOT_CALLED(DeleteTab, HWND) NOT_CALLED(ActivateTab, HWND) NOT_CALLED(SetActiveAlt, HWND)
    NOT_CALLED(MarkFullscreenWindow, HWND, WINBOOL) NOT_CALLED(RegisterTab, HWND, HWND) NOT_CALLED(UnregisterTab, HWND)
    NOT_CALLED(SetTabOrder, HWND, HWND) NOT_CALLED(SetTabActive, HWND, HWND, DWORD)
    NOT_CALLED(ThumbBarAddButtons, HWND, UINT, LPTHUMBBUTTON) NOT_CALLED(ThumbBarUpdateButtons, HWND, UINT, LPTHUMBBUTTON)
    NOT_CALLED(ThumbBarSetImageList, HWND, HIMAGELIST) NOT_CALLED(SetOverlayIcon, HWND, HICON, LPCWSTR)
    NOT_CALLED(SetThumbnailTooltip, HWND, LPCWSTR) NOT_CALLED(SetThumbnailClip, HWND, RECT*)

private:
    HRESULT note(HWND window, const std::string& what)
    {
        log.push_back(window && !IsWindow(window) ? what + " (destroyed)" : what);
        return S_OK;
    }
    bool hasProgress_, refuse_;
    DWORD cookie_ = 0;
    ULONG refs_ = 0, registered_ = 0;
};

const std::wstring kQuestion = L"Cancel extract ?";

// What a helper thread saw of the progress window while a command ran.
struct Seen {
    DWORD after = 0;  // milliseconds from the command's start to the window; 0: never seen
    DWORD took = 0;   // milliseconds the command took
    bool minimised = false, minimisedAgain = false, cancelIsDefault = false;
    std::wstring question, caption;
};

// Runs the command while a helper thread waits for the archive's progress window and, given a
// button, activates it as a click on its taskbar button does (it is restored), reads the
// question and answers it with that button.
int run_watched(const std::string& command, const std::wstring& archive, int button, Seen* seen)
{
    std::atomic<bool> finished{false};
    const DWORD start = GetTickCount();
    std::thread helper([&] {
        HWND window = nullptr, box = nullptr;
        while (!finished && !(window = FindWindowW(L"varno", archive.c_str())))
            Sleep(1);
        if (!window)
            return;
        seen->after = GetTickCount() - start;
        // Found while CreateWindowExW still runs, the window may not have its minimised state
        // yet; it has once it is shown.
        while (!finished && !IsWindowVisible(window))
            Sleep(1);
        seen->minimised = IsIconic(window);
        if (!button)
            return;
        PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        while (!finished && !(box = FindWindowW(L"#32770", archive.c_str())))
            Sleep(5);
        if (!box)
            return;
        Sleep(50);
        seen->question = message_box_text(box);
        seen->caption = window_text(box);
        seen->cancelIsDefault = (GetWindowLongW(GetDlgItem(box, IDCANCEL), GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON;
        press(box, button);
        while (!finished && !IsIconic(window))
            Sleep(5);
        seen->minimisedAgain = IsIconic(window);
    });
    const int result = run("Varno", command).code;
    seen->took = GetTickCount() - start;
    finished = true;
    helper.join();
    return result;
}

// A small entry, then a Deflate entry of `mib` MiB made of one compressed MiB repeated (each copy
// ends in a full flush and stands alone): quick to build, as slow to extract as its size.
std::string long_archive(uint32_t mib)
{
    std::string block = text_of(1 << 20), chunk(1 << 20, '\0');
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(block.data());
    z.avail_in = static_cast<uInt>(block.size());
    z.next_out = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_out = static_cast<uInt>(chunk.size());
    deflate(&z, Z_FULL_FLUSH);
    chunk.resize(chunk.size() - z.avail_out);
    deflateEnd(&z);
    std::string stream;
    for (uint32_t i = 0; i < mib; ++i)
        stream += chunk;
    stream += std::string("\x03\x00", 2);  // an empty final block
    return ziptest::build_zip({{.name = "small.txt", .data = "small"},
                               {.name = "big.txt", .method = 8, .compressed = stream, .crc = 0,
                                .uncompressedSizeField = mib << 20}});
}

constexpr uint32_t kLongMiB = 2400;  // about three seconds of extraction here when nothing else runs

uint64_t size_of(const std::wstring& path)  // 0 when there is no such file
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
               ? (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow
               : 0;
}

// Gigabytes written only to take time go to the RAM disk where there is one (under Wine).
TempDir scratch_dir()
{
    const DWORD shm = GetFileAttributesW(L"Z:\\dev\\shm");
    return TempDir(shm != INVALID_FILE_ATTRIBUTES && (shm & FILE_ATTRIBUTE_DIRECTORY) ? L"Z:\\dev\\shm\\" : L"");
}

std::string extract_command(const std::string& options, const std::wstring& archive, const std::wstring& out)
{
    return "-o -qq " + options + " " + quoted(to_ansi(archive)) + " " + quoted(to_ansi(out));
}

// With -R0 the caller's thread extracts and ticks between blocks; with -R1 a worker extracts
// while the caller's thread ticks as it waits.
TEST(ProgressWindow, AppearsAfterASecondAndAsksBeforeCancelling)
{
    SKIP_WITHOUT_DESKTOP();
    const std::string zip = long_archive(kLongMiB);
    uint32_t cdSize;
    memcpy(&cdSize, zip.data() + zip.size() - 10, 4);  // from the end record, which ends the archive
    TempDir dir = scratch_dir();
    const std::wstring archive = dir.file(L"long.zip");
    write_file(archive, zip);
    struct Case {
        const char* threads;
        int button, result;
        uint32_t total;  // of the taskbar values: directory bytes on the caller's thread, else entries
    };
    for (const Case& c : {Case{"-R0", IDOK, VARNO_ERROR_CANCELLED, cdSize}, Case{"-R8", IDOK, VARNO_ERROR_CANCELLED, 2},
                          Case{"-R1", IDCANCEL, 0, 2}}) {
        SCOPED_TRACE(std::string(c.threads) + (c.button == IDOK ? " OK" : " Cancel"));
        TempDir out = scratch_dir();  // the big file goes as soon as the case ends
        const std::wstring existing = out.file(L"big.txt");
        write_file(existing, "precious");
        FakeTaskbar taskbar;
        Seen seen;
        EXPECT_EQ(run_watched(extract_command(c.threads, archive, out.path()), archive, c.button, &seen), c.result);
        EXPECT_GE(seen.after, 1000u);
        EXPECT_LT(seen.after, 3000u);
        EXPECT_TRUE(seen.minimised);
        EXPECT_TRUE(seen.cancelIsDefault);
        EXPECT_EQ(seen.question + L"|" + seen.caption, kQuestion + L"|" + archive);
        // OK: the half-written replacement is gone and the existing file is as it was. Cancel:
        // the extraction went on to its end, and the window went back to the taskbar meanwhile.
        EXPECT_EQ(size_of(existing), c.button == IDOK ? 8 : uint64_t{kLongMiB} << 20);
        if (c.button == IDOK)
            EXPECT_EQ(read_file(existing), "precious");
        for (const std::wstring& name : names_in(out.path()))
            EXPECT_TRUE(name == L"big.txt" || name == L"small.txt") << to_ansi(name);
        EXPECT_TRUE(seen.minimisedAgain || c.button == IDOK);
        // Set up for the first value, cleared while the window still lived, released at the close.
        ASSERT_GE(taskbar.log.size(), 5u);
        EXPECT_EQ(taskbar.log[0] + taskbar.log[1] + taskbar.log[3] + taskbar.log.back(), "initinitstate 2state 0");
        EXPECT_EQ(taskbar.log[2].substr(taskbar.log[2].find('/')), "/" + std::to_string(c.total));
        EXPECT_TRUE(taskbar.released());
    }
}

TEST(ProgressWindow, NeverAppearsWithDashDashIOrInAShortRun)
{
    SKIP_WITHOUT_DESKTOP();
    for (const auto& [options, mib] : {std::pair{"--i -R0", kLongMiB}, std::pair{"", 1u}}) {
        SCOPED_TRACE(options);
        TempDir dir = scratch_dir();
        write_file(dir.file(L"a.zip"), long_archive(mib));
        FakeTaskbar taskbar;
        Seen seen;
        EXPECT_EQ(run_watched(extract_command(options, dir.file(L"a.zip"), dir.path()), dir.file(L"a.zip"), 0, &seen), 0);
        EXPECT_EQ(size_of(dir.file(L"big.txt")), uint64_t{mib} << 20);
        EXPECT_EQ(seen.after, 0u);
        EXPECT_EQ(taskbar.created, 0);
        // The long run lasted long enough for a window to appear; the short one did not.
        EXPECT_EQ(seen.took > 1500, mib > 1) << seen.took;
    }
}

// progress_tick on handles of the test's own; each case runs in a new thread, which has no
// taskbar objects yet.
struct Ticked {
    TestArchive archive{0};
    explicit Ticked(uint32_t total, HWND owner = nullptr)
    {
        lstrcpyW(archive->path, L"C:\\ticked.zip");
        archive->progressInterval = 1000;
        archive->progressTotal = total;
        archive->ownerWindow = owner;
    }
    ~Ticked() { close_progress_window(archive.get()); }
    int32_t tick(uint32_t done)
    {
        archive->progressDone = done;
        return progress_tick(archive.get());
    }
};

void in_new_thread(const std::function<void()>& body) { std::thread(body).join(); }

TEST(ProgressTick, TaskbarValuesByTheRule)
{
    SKIP_WITHOUT_DESKTOP();
    in_new_thread([] {
        FakeTaskbar taskbar;
        Ticked t(1024);  // 1/256 of it is 4
        const std::vector<std::pair<uint32_t, std::vector<std::string>>> steps = {
            {0, {"init", "init", "value 0/1024", "state 2"}},  // the first tick sends what there is
            {4, {}},
            {5, {"value 5/1024", "state 2"}},
            {9, {}},
            {1024, {"value 1024/1024", "state 2"}},
        };
        for (const auto& [done, sent] : steps) {
            const size_t before = taskbar.log.size();
            EXPECT_EQ(t.tick(done), 0);
            EXPECT_EQ(std::vector<std::string>(taskbar.log.begin() + before, taskbar.log.end()), sent) << done;
        }
        t.archive->sharedState = VARNO_ERROR_CANCELLED;
        EXPECT_EQ(t.tick(1024), VARNO_ERROR_CANCELLED);
        close_progress_window(t.archive.get());
        EXPECT_EQ(taskbar.log.back(), "state 0");
        EXPECT_TRUE(taskbar.released());
    });
    in_new_thread([] {  // no work and no progress: nothing sent
        FakeTaskbar taskbar;
        Ticked t(0);
        EXPECT_EQ(t.tick(0) + t.tick(0), 0);
        EXPECT_TRUE(t.archive->progressHwnd);
        EXPECT_EQ(taskbar.created, 0);
    });
}

TEST(ProgressTick, TaskbarSetUpOnlyWhereItCanBe)
{
    SKIP_WITHOUT_DESKTOP();
    struct Case {
        const char* what;
        DWORD major;
        bool hasProgress, refuse;
        int created;  // after three updates
    };
    for (const Case& c : {Case{"before major version 6 no COM at all", 5, true, false, 0},
                          Case{"no progress interface: given up after the first", 6, false, false, 1},
                          Case{"creation refused: tried at each update", 6, true, true, 3}}) {
        in_new_thread([&] {
            const DWORD major = g_library.osVersion.dwMajorVersion;
            g_library.osVersion.dwMajorVersion = c.major;
            FakeTaskbar taskbar(c.hasProgress, c.refuse);
            Ticked t(100);
            for (uint32_t done : {0, 50, 100})
                t.tick(done);
            EXPECT_TRUE(t.archive->progressHwnd) << c.what;  // still there to cancel with
            EXPECT_EQ(taskbar.created, c.created) << c.what;
            close_progress_window(t.archive.get());
            EXPECT_TRUE(taskbar.released()) << c.what;
            g_library.osVersion.dwMajorVersion = major;
        });
    }
}

// Where no desktop is usable the ticks make no window (making one may never return there) and
// report no cancel.
TEST(NoUsableDesktop, ProgressTicksMakeNoWindow)
{
    InvisibleWindowStation invisible;
    ASSERT_TRUE(invisible.active() || no_desktop_reason());
    Ticked t(100);
    EXPECT_EQ(t.tick(0) + t.tick(50), 0);
    EXPECT_FALSE(t.archive->progressHwnd);
}

// The window system activates the minimised window by itself when another window of the
// process closes or another program gives up the focus; nobody asked then, and a question would
// hold the extraction until someone answered it. Restored while active, as a click on its
// taskbar button leaves it, the window asks (and minimises itself again).
TEST(ProgressTick, AsksOnlyOnceRestored)
{
    SKIP_WITHOUT_DESKTOP();
    in_new_thread([] {
        Ticked t(100);
        t.tick(0);
        const HWND window = t.archive->progressHwnd;
        ASSERT_TRUE(window && IsIconic(window));
        std::atomic<bool> stop{false};
        std::atomic<int> questions{0};
        std::thread answerer([&] {
            while (!stop) {
                if (HWND box = FindWindowW(L"#32770", L"C:\\ticked.zip")) {
                    ++questions;
                    press(box, IDCANCEL);
                    while (!stop && IsWindow(box))
                        Sleep(5);
                }
                Sleep(5);
            }
        });
        SetActiveWindow(window);
        t.tick(0);
        Sleep(300);
        const bool activeAndMinimised = GetActiveWindow() == window && IsIconic(window);
        const int whileMinimised = questions;
        ShowWindow(window, SW_RESTORE);
        t.tick(0);
        stop = true;
        answerer.join();
        EXPECT_TRUE(activeAndMinimised);
        EXPECT_EQ(whileMinimised, 0);
        EXPECT_EQ(questions, 1);
        EXPECT_TRUE(IsIconic(window));
        EXPECT_EQ(t.archive->sharedState, 0);
    });
}

TEST(ProgressTick, WindowPlacedStyledAndKeptUntilTheClose)
{
    SKIP_WITHOUT_DESKTOP();
    in_new_thread([] {
        HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 123, 45, 300, 200, nullptr, nullptr, nullptr, nullptr);
        const DWORD build = g_library.osVersion.dwBuildNumber;
        for (DWORD b : {7601u, 9200u}) {
            g_library.osVersion.dwBuildNumber = b;
            Ticked t(0, owner);
            PostQuitMessage(7);
            t.tick(0);
            const HWND window = t.archive->progressHwnd;
            EXPECT_EQ(FindWindowW(L"varno", L"C:\\ticked.zip"), window);
            const LONG style = WS_POPUP | WS_MINIMIZE | WS_VISIBLE;
            EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & style, style);
            EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & 0x00200000, b >= 9200 ? 0x00200000 : 0) << b;
            WINDOWPLACEMENT placement = {sizeof placement};
            GetWindowPlacement(window, &placement);
            const RECT r = placement.rcNormalPosition;
            EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right - r.left, r.bottom - r.top}), std::vector<LONG>({123, 45, 1, 1}));
            // The pump stopped at the host's WM_QUIT and left it for the host's own loop.
            MSG quit;
            EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
            EXPECT_EQ(quit.wParam, 7u);
            // Closed from its taskbar button, it stays until its archive is closed.
            SendMessageW(window, WM_CLOSE, 0, 0);
            EXPECT_TRUE(IsWindow(window));
        }
        g_library.osVersion.dwBuildNumber = build;
        DestroyWindow(owner);
    });
}

TEST(ProgressWindowJaLocale, AsksInJapanese)
{
    SKIP_WITHOUT_DESKTOP();
    ASSERT_EQ(LOWORD(GetUserDefaultLCID()), 0x0411);
    TempDir dir = scratch_dir();
    write_file(dir.file(L"long.zip"), long_archive(kLongMiB));
    Seen seen;
    EXPECT_EQ(run_watched(extract_command("", dir.file(L"long.zip"), dir.path()), dir.file(L"long.zip"), IDOK, &seen),
              VARNO_ERROR_CANCELLED);
    EXPECT_EQ(seen.question, L"\x5C55\x958B\x3092\x4E2D\x6B62\x3057\x307E\x3059\x304B\xFF1F");
}

}  // namespace
