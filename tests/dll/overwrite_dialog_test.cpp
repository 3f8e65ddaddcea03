// The overwrite dialog for real under a display: its template as stored in the DLL, the texts it
// shows for both files, each of its answers, the Japanese texts, the request from a worker, and
// the placement rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "archive/entry_extras.h"
#include "dialog_template.h"
#include "dll_host.h"
#include "output_job.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include "ui/overwrite_dialog.h"
#include "ui/place_window.h"
#include "window_watch.h"

using namespace dlltest;

namespace {

const wchar_t kTitle[] = L"Exist file - varno";

// ---------------------------------------------------------------------------------------------
// The template, read back from the DLL's resources.

TEST(OverwriteDialogTemplate, IsStoredExactlyAsLaidOut)
{
    DialogTemplate t;
    ASSERT_TRUE(read_dialog_template(varno_module(), IDD_OVERWRITE, &t));
    EXPECT_EQ(t.style, 0x90C800CCu);
    EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_DLGMODALFRAME));
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 300);
    EXPECT_EQ(t.cy, 144);
    EXPECT_EQ(t.menu, L"");
    EXPECT_EQ(t.windowClass, L"");
    EXPECT_EQ(t.caption, kTitle);
    EXPECT_EQ(t.pointSize, 10);
    EXPECT_EQ(t.font, L"MS Shell Dlg 2");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const std::vector<DialogControl> expected = {
        {IDC_OVERWRITE_TEXT, L"STATIC",
         L"Already exist file: %s\nExist file: \n\twrite date time: %s\n\tfiles size: %s\nExtract file:\n\twrite "
         L"date time: %s\n\tfiles size: %s\n",
         child | SS_NOPREFIX, 4, 4, 290, 80},
        {IDYES, L"BUTTON", L"Overwrite(&Y)", child | BS_DEFPUSHBUTTON | BS_CENTER, 30, 100, 60, 14},
        {IDNO, L"BUTTON", L"Skip(&N)", child | BS_CENTER, 96, 100, 60, 14},
        {IDC_OVERWRITE_ALL, L"BUTTON", L"Overwrite ALL(&A)", child | BS_CENTER, 166, 100, 60, 14},
        {IDC_SKIP_ALL, L"BUTTON", L"Skip ALL(&S)", child | BS_CENTER, 232, 100, 60, 14},
        {IDC_OVERWRITE_NEWER_ALL, L"BUTTON", L"new time ALL(&T)", child | BS_CENTER, 30, 122, 92, 14},
        {IDC_BACKUP_EXISTING, L"BUTTON", L"Backup exist file(&B)", child | BS_CENTER, 128, 122, 92, 14},
        {IDCANCEL, L"BUTTON", L"Cancel(Q)", child | BS_CENTER, 232, 122, 60, 14},
    };
    ASSERT_EQ(t.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(t.controls[i], expected[i]) << "control " << i;
}

// ---------------------------------------------------------------------------------------------
// The dialog shown.

// What the helper thread saw of one dialog.
struct Seen {
    std::wstring caption;
    std::wstring message;
    std::vector<std::wstring> buttons;  // in the order of kButtons
    LRESULT defaultId = 0;
    RECT rect = {};
};

const int kButtons[] = {IDYES, IDNO, IDC_OVERWRITE_ALL, IDC_SKIP_ALL, IDC_OVERWRITE_NEWER_ALL, IDC_BACKUP_EXISTING,
                        IDCANCEL};

Seen look_at(HWND dialog)
{
    Seen s;
    s.caption = window_text(dialog);
    s.message = item_text(dialog, IDC_OVERWRITE_TEXT);
    for (int id : kButtons)
        s.buttons.push_back(item_text(dialog, id));
    s.defaultId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    GetWindowRect(dialog, &s.rect);
    return s;
}

enum class Act { Press, Escape, Close };

// Shows the dialog for the prompt, lets the helper thread look at it and act, and returns the
// dialog's result.
INT_PTR show_and_answer(OverwritePrompt* prompt, Act act, int button, Seen* seen)
{
    std::mutex mutex;
    WindowWatch watch(kTitle, [&](HWND dialog) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            *seen = look_at(dialog);
        }
        switch (act) {
        case Act::Press: press(dialog, button); break;
        case Act::Escape: PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case Act::Close: PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        }
    });
    const INT_PTR result = show_overwrite_dialog(prompt);
    EXPECT_EQ(watch.seen(), 1);
    std::lock_guard<std::mutex> lock(mutex);
    return result;
}

constexpr uint16_t dos_date(int year, int month, int day)
{
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr uint16_t dos_time(int hour, int minute, int second)
{
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

TEST(OverwriteDialog, ShowsBothFilesAndEndsWithEachAnswer)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    const std::wstring path = dir.file(L"existing.bin");
    write_file(path, std::string(1234567, 'e'));
    ASSERT_TRUE(set_write_time(path, utc_from_local(2020, 2, 29, 23, 59, 58, 123)));
    // No extra times: the DOS time (local, two-second steps) is shown; 13:45:31 is stored as :30.
    TestEntry entry(dos_date(2021, 6, 15), dos_time(13, 45, 31), 0);
    OverwritePrompt prompt = {path.c_str(), &entry.extras};

    struct Case {
        Act act;
        int button;
        INT_PTR result;
    };
    const Case cases[] = {
        {Act::Press, IDYES, IDYES},
        {Act::Press, IDNO, IDNO},
        {Act::Press, IDC_OVERWRITE_ALL, IDC_OVERWRITE_ALL},
        {Act::Press, IDC_SKIP_ALL, IDC_SKIP_ALL},
        {Act::Press, IDC_OVERWRITE_NEWER_ALL, IDC_OVERWRITE_NEWER_ALL},
        {Act::Press, IDC_BACKUP_EXISTING, IDC_BACKUP_EXISTING},
        {Act::Press, IDCANCEL, -1},
        {Act::Escape, 0, -1},
        {Act::Close, 0, -1},
    };
    const std::wstring message = L"Already exist file: " + path +
                                 L"\nExist file: \n\twrite date time: 2020-02-29 23:59:58.123\n\tfiles size: "
                                 L"1,234,567\nExtract file:\n\twrite date time: 2021-06-15 13:45:30.000\n\tfiles "
                                 L"size: 0\n";
    const std::vector<std::wstring> english = {L"Overwrite(&Y)",    L"Skip(&N)",
                                               L"Overwrite ALL(&A)", L"Skip ALL(&S)",
                                               L"new time ALL(&T)", L"Backup exist file(&B)",
                                               L"Cancel(Q)"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Seen seen;
        EXPECT_EQ(show_and_answer(&prompt, c.act, c.button, &seen), c.result);
        EXPECT_EQ(seen.caption, kTitle);
        EXPECT_EQ(seen.message, message);
        EXPECT_EQ(seen.buttons, english);
        EXPECT_EQ(seen.defaultId, MAKELRESULT(IDYES, DC_HASDEFID));
    }
    // The record keeps the DOS time it was given for the dialog.
    EXPECT_EQ(entry.extras.writeTime, dos_time_to_utc(dos_date(2021, 6, 15), dos_time(13, 45, 30)));
}

TEST(OverwriteDialog, ExtraTimesZip64SizesMissingFilesAndPlacement)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    const std::wstring missing = dir.file(L"gone.txt");
    TestEntry entry(dos_date(2021, 6, 15), dos_time(13, 45, 30), 0);
    entry.set_write_time(utc_from_local(2019, 12, 31, 8, 7, 6, 5));
    entry.set_zip64_size(5000000000ull);
    OverwritePrompt prompt = {missing.c_str(), &entry.extras};
    Seen seen;
    EXPECT_EQ(show_and_answer(&prompt, Act::Press, IDNO, &seen), IDNO);
    EXPECT_EQ(seen.message, L"Already exist file: " + missing +
                                L"\nExist file: \n\twrite date time: open error\n\tfiles size: open error\nExtract "
                                L"file:\n\twrite date time: 2019-12-31 08:07:06.005\n\tfiles size: 5,000,000,000\n");

    // Centred on the work area of the only monitor.
    RECT work;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const LONG w = seen.rect.right - seen.rect.left, h = seen.rect.bottom - seen.rect.top;
    EXPECT_EQ(seen.rect.left, work.left + (work.right - work.left - w) / 2);
    EXPECT_EQ(seen.rect.top, work.top + (work.bottom - work.top - h) / 2);

    // An extra record whose time is 0 shows the placeholder.
    entry.extras.writeTime = 0;
    EXPECT_EQ(show_and_answer(&prompt, Act::Press, IDNO, &seen), IDNO);
    EXPECT_NE(seen.message.find(L"Extract file:\n\twrite date time: **-**-** **:**:**.***\n"), std::wstring::npos)
        << seen.message.c_str();
}

TEST(OverwriteDialogJaLocale, JapaneseCaptionsAndFormat)
{
    SKIP_WITHOUT_DESKTOP();
    ASSERT_EQ(LOWORD(GetUserDefaultLCID()), 0x0411);
    TempDir dir;
    const std::wstring path = dir.file(L"a.txt");
    write_file(path, "");
    ASSERT_TRUE(set_write_time(path, utc_from_local(2024, 1, 2, 3, 4, 5, 6)));
    TestEntry entry(dos_date(2023, 11, 30), dos_time(22, 10, 59), 1000);
    OverwritePrompt prompt = {path.c_str(), &entry.extras};
    Seen seen;
    EXPECT_EQ(show_and_answer(&prompt, Act::Press, IDC_SKIP_ALL, &seen), IDC_SKIP_ALL);
    EXPECT_EQ(seen.caption, kTitle);
    const std::vector<std::wstring> japanese = {
        L"\x4E0A\x66F8\x304D(&Y)",
        L"\x30B9\x30AD\x30C3\x30D7(&N)",
        L"\x5168\x3066\x4E0A\x66F8\x304D(&A)",
        L"\x5168\x3066\x30B9\x30AD\x30C3\x30D7(&S)",
        L"\x65B0\x3057\x3044\x306A\x3089\x5168\x3066\x4E0A\x66F8\x304D(&T)",
        L"\x65E2\x5B58\x3092\x30D0\x30C3\x30AF\x30A2\x30C3\x30D7(&B)",
        L"\x4E2D\x6B62(&Q)",
    };
    EXPECT_EQ(seen.buttons, japanese);
    const std::wstring message = L"\x65E2\x5B58\x306E\x30D5\x30A1\x30A4\x30EB\x304C\x3042\x308A\x307E\x3059: " + path +
                                 L"\n\n\x65E2\x5B58\x30D5\x30A1\x30A4\x30EB: \n"
                                 L"\t\x66F4\x65B0\x65E5\x6642: 2024-01-02 03:04:05.006\n"
                                 L"\t\x30B5\x30A4\x30BA: 0\n\n"
                                 L"\x5C55\x958B\x30D5\x30A1\x30A4\x30EB:\n"
                                 L"\t\x66F4\x65B0\x65E5\x6642: 2023-11-30 22:10:58.000\n"
                                 L"\t\x30B5\x30A4\x30BA: 1,000\n";
    EXPECT_EQ(seen.message, message);
}

// The caller's side of a worker's question.
TEST(AnswerOverwriteRequest, ShowsThePostedPromptAndAnswersIt)
{
    SKIP_WITHOUT_DESKTOP();
    TempDir dir;
    const std::wstring path = dir.file(L"posted.txt");
    write_file(path, "abc");
    TestArchive archive(0);
    TestEntry entry(dos_date(2021, 6, 15), dos_time(13, 45, 30), 7);
    OverwritePrompt prompt = {path.c_str(), &entry.extras};

    std::wstring message;
    WindowWatch watch(kTitle, [&](HWND dialog) {
        message = item_text(dialog, IDC_OVERWRITE_TEXT);
        press(dialog, IDC_BACKUP_EXISTING);
    });
    // Not requested: nothing is shown and nothing changes.
    for (LONG state : {0L, -1L, -3L, 0x8020L}) {
        archive->sharedState = state;
        answer_overwrite_request(archive.get());
        EXPECT_EQ(archive->sharedState, state);
    }
    archive->dialogParam = reinterpret_cast<uintptr_t>(&prompt);
    archive->sharedState = -2;
    answer_overwrite_request(archive.get());
    EXPECT_EQ(archive->sharedState, -3);
    EXPECT_EQ(static_cast<int32_t>(archive->dialogResult), IDC_BACKUP_EXISTING);
    EXPECT_EQ(watch.seen(), 1);
    EXPECT_EQ(message.rfind(L"Already exist file: " + path + L"\n", 0), 0u);
    EXPECT_NE(message.find(L"files size: 3\n"), std::wstring::npos);
    EXPECT_NE(message.find(L"files size: 7\n"), std::wstring::npos);
}

// ---------------------------------------------------------------------------------------------
// place_window

struct PopUp {
    PopUp(int x, int y, int w, int h)
        : window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, x, y, w, h, nullptr, nullptr, nullptr, nullptr))
    {
    }
    ~PopUp() { DestroyWindow(window); }
    RECT rect() const
    {
        RECT r;
        GetWindowRect(window, &r);
        return r;
    }
    HWND window;
};

TEST(PlaceWindow, CentresOnTheReferenceAndKeepsInsideTheWorkArea)
{
    SKIP_WITHOUT_DESKTOP();
    RECT work;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const LONG ww = work.right - work.left, wh = work.bottom - work.top;
    ASSERT_GE(ww, 640);
    ASSERT_GE(wh, 480);
    struct Case {
        const char* what;
        bool hasReference;
        RECT reference;  // left, top, right, bottom
        LONG w, h;
        LONG x, y;  // expected
    };
    const Case cases[] = {
        {"centred on the work area", false, {}, 200, 100, work.left + (ww - 200) / 2, work.top + (wh - 100) / 2},
        // Truncation toward zero: (200 - 301) / 2 is -50. The window is taller than the
        // reference: its top goes a third of the reference's height above the bottom.
        {"taller than the reference", true, {100, 100, 300, 200}, 301, 300, 50, 200 - 100 / 3},
        {"equal heights", true, {100, 100, 300, 400}, 100, 300, 150, 400 - 300 / 3},
        {"pulled back at the right edge", true, {work.right - 50, 100, work.right + 50, 200}, 200, 50,
         work.right - 200, 125},
        {"pulled back at the bottom", true, {100, work.bottom - 20, 300, work.bottom + 20}, 100, 100, 150,
         work.bottom - 100},
        {"pulled back at the left and top", true, {work.left - 400, work.top - 400, work.left - 200, work.top - 200},
         100, 100, work.left, work.top},
        {"larger than the work area", false, {}, ww + 100, wh + 101, work.left, work.top},
    };
    for (const Case& c : cases) {
        PopUp window(7, 9, c.w, c.h);
        PopUp reference(c.reference.left, c.reference.top, c.reference.right - c.reference.left,
                        c.reference.bottom - c.reference.top);
        ASSERT_TRUE(window.window);
        place_window(window.window, c.hasReference ? reference.window : nullptr);
        const RECT r = window.rect();
        EXPECT_EQ(r.left, c.x) << c.what;
        EXPECT_EQ(r.top, c.y) << c.what;
        EXPECT_EQ(r.right - r.left, c.w) << c.what;  // never resized
        EXPECT_EQ(r.bottom - r.top, c.h) << c.what;
    }
}

}  // namespace
