// Windows the library shows, found and answered by a helper thread of the test, as a user would.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace dlltest {

// Why this process cannot show windows, or null when it can: under the ARM64 emulation no
// process gets a window station, and a window would wait for a desktop that never comes.
// Never a reason on x64, whose suite runs on a virtual display.
const char* no_desktop_reason();

// The first statement of a test that needs a window: skips it, with the reason in the test's
// output, where no window can be shown.
#define SKIP_WITHOUT_DESKTOP()                                     \
    if (const char* reason_ = dlltest::no_desktop_reason())       \
    GTEST_SKIP() << reason_

// Makes the process's window station an invisible one for the lifetime of the object, as a
// service has: no window of the process can be seen or answered there.
class InvisibleWindowStation {
public:
    InvisibleWindowStation();
    ~InvisibleWindowStation();
    InvisibleWindowStation(const InvisibleWindowStation&) = delete;
    InvisibleWindowStation& operator=(const InvisibleWindowStation&) = delete;
    bool active() const { return station_ != nullptr; }

private:
    HWINSTA previous_;
    HWINSTA station_;
};

// Waits in its own thread for each visible top-level window of this process titled `title`
// and hands it to `answer`, which reads it and presses one of its buttons. Counts the windows.
class WindowWatch {
public:
    WindowWatch(std::wstring title, std::function<void(HWND)> answer);
    ~WindowWatch();  // stops watching
    int seen() const { return seen_.load(); }

private:
    void watch();
    std::wstring title_;
    std::function<void(HWND)> answer_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::thread thread_;
};

std::wstring window_text(HWND window);
std::wstring item_text(HWND dialog, int id);
// The text of a message box (its static control).
std::wstring message_box_text(HWND box);
// Presses the button with this id, as a click does.
void press(HWND dialog, int id);

}  // namespace dlltest
