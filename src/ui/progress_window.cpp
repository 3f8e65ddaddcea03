#include "ui/progress_window.h"

#include "core/desktop.h"
#include "core/library_state.h"
#include "resources/resource_ids.h"
#include "ui/taskbar_progress.h"
#include "ui/ui_language.h"
#include "varno_results.h"

namespace {

constexpr uint32_t kFirstInterval = 1000;  // from the open to the first tick
constexpr uint32_t kLaterInterval = 800;
constexpr DWORD kNoRedirectionBitmap = 0x00200000;  // WS_EX_NOREDIRECTIONBITMAP, from build 9200

const wchar_t kQuestion[] = L"Cancel extract ?";
const wchar_t kJapaneseQuestion[] = L"\x5C55\x958B\x3092\x4E2D\x6B62\x3057\x307E\x3059\x304B\xFF1F";

// A window whose question was answered, until the minimise posted after the answer arrives.
// Activations in between ask nothing: the window system reactivates the owner as the question
// closes, and on some systems (Wine's X11 driver) that activation comes after the answer, which
// would open the question again at once.
thread_local HWND t_answered = nullptr;

// The class is registered once per process, by whichever thread ticks first.
SRWLOCK g_classLock = SRWLOCK_INIT;
ATOM g_classAtom = 0;

ATOM progress_class()
{
    AcquireSRWLockExclusive(&g_classLock);
    if (g_classAtom == 0) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = progress_wnd_proc;
        wc.hInstance = g_library.moduleInstance;
        wc.hIcon = LoadIconW(g_library.moduleInstance, MAKEINTRESOURCEW(IDI_VARNO));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"varno";
        g_classAtom = RegisterClassW(&wc);
    }
    const ATOM atom = g_classAtom;
    ReleaseSRWLockExclusive(&g_classLock);
    return atom;
}

// The window sits at the owner's top-left corner (the screen's without an owner); it is
// minimised, so only its taskbar button is seen.
void create_progress_window(ArchiveHandle* archive)
{
    // Where no desktop is usable nobody sees the window, and making it may never return.
    if (!desktop_usable())
        return;
    RECT owner = {};
    if (archive->ownerWindow)
        GetWindowRect(archive->ownerWindow, &owner);
    const ATOM atom = progress_class();
    if (atom == 0)
        return;
    const DWORD exStyle = g_library.osVersion.dwBuildNumber >= 9200 ? kNoRedirectionBitmap : 0;
    archive->progressHwnd = CreateWindowExW(exStyle, MAKEINTATOM(atom), archive->path, WS_POPUP | WS_MINIMIZE,
                                            owner.left, owner.top, 1, 1, nullptr, nullptr, g_library.moduleInstance,
                                            archive);
    if (!archive->progressHwnd)
        return;
    ShowWindow(archive->progressHwnd, SW_SHOWMINNOACTIVE);
    // The first comparison then sends a value whenever there is any work or progress.
    archive->progressShown = 0u - archive->progressTotal;
}

// Keeps the window and the host's windows responsive. A WM_QUIT taken out here ends the pump
// and is posted again, so that the host's own message loop still sees it.
void pump_messages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The cancel question, asked only while no other question or abort holds sharedState; the
// extraction loops wait while it is open (-1).
void ask_to_cancel(HWND window)
{
    auto* archive = reinterpret_cast<ArchiveHandle*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!archive || window == t_answered || InterlockedCompareExchange(&archive->sharedState, -1, 0) != 0)
        return;
    const int answer = MessageBoxW(window, user_locale_is_japanese() ? kJapaneseQuestion : kQuestion, archive->path,
                                   MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    InterlockedCompareExchange(&archive->sharedState, answer == IDOK ? VARNO_ERROR_CANCELLED : 0, -1);
    t_answered = window;
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

}  // namespace

int32_t progress_tick(ArchiveHandle* archive)
{
    if (archive->options.progressWindow == 0)
        return 0;
    if (archive->progressInterval == kFirstInterval) {
        archive->progressInterval = kLaterInterval;
        create_progress_window(archive);
    }
    const HWND window = archive->progressHwnd;
    if (!window)
        return 0;
    const uint32_t done = archive->progressDone;
    const uint32_t total = archive->progressTotal;
    if (done - archive->progressShown > (total >> 8)) {
        archive->progressShown = done;
        taskbar_set_progress(window, done, total);
    }
    pump_messages();
    return archive->sharedState;
}

LRESULT CALLBACK progress_wnd_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    // The question is for the user who clicked the taskbar button, which restores the window.
    // The window system also activates the minimised window by itself (when another window of
    // the process closes, or another program gives up the focus); it stays minimised then, and
    // a question nobody asked for would hold every worker until someone answered it. So the
    // window asks once it is both active and restored, whichever of the two comes last.
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
            ask_to_cancel(window);
        break;
    case WM_SIZE:
        if (wParam == SIZE_RESTORED && GetActiveWindow() == window)
            ask_to_cancel(window);
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE && window == t_answered)
            t_answered = nullptr;
        break;
    case WM_CLOSE:
        // Closed from its taskbar button, the window would leave its archive a dangling
        // handle; it lives until the archive is closed, and cancelling is the question's job.
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void close_progress_window(ArchiveHandle* archive)
{
    if (!archive->progressHwnd)
        return;
    taskbar_set_progress(archive->progressHwnd, 0, 0);
    if (t_answered == archive->progressHwnd)
        t_answered = nullptr;
    DestroyWindow(archive->progressHwnd);
    archive->progressHwnd = nullptr;
}

void unregister_progress_class()
{
    if (g_classAtom != 0)
        UnregisterClassW(MAKEINTATOM(g_classAtom), g_library.moduleInstance);
    g_classAtom = 0;
}
