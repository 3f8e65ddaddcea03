#include "window_watch.h"

#include <vector>

#include "core/desktop.h"

namespace dlltest {

namespace {

struct Search {
    const std::wstring* title;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && window_text(window) == *search->title)
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

const char* no_desktop_reason()
{
    // On x64 the suite runs on a virtual display, where a missing desktop is a fault to report.
    // The ARM64 prefixes show windows through Wine's null display driver; a run there without a
    // desktop skips, and the test summary fails the suite for it.
#if defined(_M_ARM64) || defined(__aarch64__)
    if (!desktop_usable())
        return "no usable desktop: this process got no window station";
#endif
    return nullptr;
}

InvisibleWindowStation::InvisibleWindowStation()
    : previous_(GetProcessWindowStation()), station_(CreateWindowStationW(L"varno-invisible", 0, WINSTA_ALL_ACCESS, nullptr))
{
    if (station_ && !SetProcessWindowStation(station_)) {
        CloseWindowStation(station_);
        station_ = nullptr;
    }
}

InvisibleWindowStation::~InvisibleWindowStation()
{
    if (!station_)
        return;
    SetProcessWindowStation(previous_);
    CloseWindowStation(station_);
}

// Where no desktop is usable no window can appear, and looking for one would wait for ever.
WindowWatch::WindowWatch(std::wstring title, std::function<void(HWND)> answer)
    : title_(std::move(title)), answer_(std::move(answer))
{
    if (desktop_usable())
        thread_ = std::thread([this] { watch(); });
}

WindowWatch::~WindowWatch()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void WindowWatch::watch()
{
    std::vector<HWND> answered;
    while (!stop_) {
        Search search{&title_, {}};
        EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.found) {
            bool known = false;
            for (HWND old : answered)
                known = known || old == window;
            if (known && IsWindow(window))
                continue;
            answered.push_back(window);
            ++seen_;
            Sleep(50);  // let the window finish its initialisation
            answer_(window);
        }
        Sleep(20);
    }
}

std::wstring window_text(HWND window)
{
    wchar_t text[4096];
    text[0] = 0;
    GetWindowTextW(window, text, 4096);
    return text;
}

std::wstring item_text(HWND dialog, int id)
{
    wchar_t text[4096];
    text[0] = 0;
    GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

std::wstring message_box_text(HWND box) { return item_text(box, 0xFFFF); }

void press(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    if (button)
        PostMessageW(button, BM_CLICK, 0, 0);
    else
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

}  // namespace dlltest
