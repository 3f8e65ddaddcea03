// Windows the library shows, found and answered by a helper thread of the test, as a user would.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace dlltest {

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
