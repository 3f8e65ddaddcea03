// Encrypted entries: the traditional cipher and WinZip AES through the command exports, the
// password dialog for real (its template, typed text, Cancel, Escape, the close box, its
// title), the password protocol between threads, wrong passwords asked again, and the
// platform's AES against the CPU's.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "aes_entries.h"
#include "crypto/password_buffer.h"
#include "crypto/pbkdf2_sha1.h"
#include "crypto/traditional_cipher.h"
#include "crypto/winzip_aes.h"
#include "dialog_template.h"
#include "dll_host.h"
#include "extract/entry_decryption.h"
#include "output_job.h"
#include "resources/resource_ids.h"
#include "test_data.h"
#include "test_files.h"
#include "ui/password_dialog.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

// What the user does with one password dialog.
struct Answer {
    enum Kind { Type, Cancel, Escape, Close } kind;
    std::wstring text;  // typed, then OK
};

// Answers password dialogs titled `title` in order (the last answer repeats) and records them.
class PasswordUser {
public:
    PasswordUser(const std::wstring& title, std::vector<Answer> answers)
        : answers_(std::move(answers)), watch_(title, [this](HWND dialog) { answer(dialog); })
    {
    }
    int seen() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(notes_.size());
    }
    std::vector<std::wstring> notes() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return notes_;
    }

private:
    void answer(HWND dialog)
    {
        // Other windows of the process may share the title (an empty one, say).
        if (!GetDlgItem(dialog, IDC_PASSWORD_EDIT))
            return;
        size_t n;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            n = notes_.size();
            notes_.push_back(item_text(dialog, IDC_PASSWORD_NOTE));
        }
        const Answer& a = answers_[n < answers_.size() ? n : answers_.size() - 1];
        switch (a.kind) {
        case Answer::Type: {
            HWND edit = GetDlgItem(dialog, IDC_PASSWORD_EDIT);
            for (wchar_t c : a.text)
                PostMessageW(edit, WM_CHAR, c, 0);
            press(dialog, IDOK);
            break;
        }
        case Answer::Cancel: press(dialog, IDCANCEL); break;
        case Answer::Escape: PostMessageW(GetDlgItem(dialog, IDC_PASSWORD_EDIT), WM_KEYDOWN, VK_ESCAPE, 0); break;
        case Answer::Close: PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        }
    }
    std::vector<Answer> answers_;
    mutable std::mutex mutex_;
    std::vector<std::wstring> notes_;
    WindowWatch watch_;
};

// "password unmatch" boxes, each confirmed.
class MismatchBoxes {
public:
    MismatchBoxes()
        : watch_(L"Error", [this](HWND box) {
              if (message_box_text(box) == L"password unmatch")
                  ++matched_;
              press(box, IDOK);
          })
    {
    }
    int seen() const { return matched_.load(); }

private:
    std::atomic<int> matched_{0};
    WindowWatch watch_;
};

struct Archive {
    TempDir dir;
    std::string path;
    std::string out;
    std::wstring widePath;
    explicit Archive(const std::vector<Entry>& entries)
    {
        widePath = dir.file(L"e.zip");
        write_file(widePath, ziptest::build_zip(entries));
        path = quoted(to_ansi(widePath));
        out = quoted(to_ansi(dir.file(L"out")));
    }
    std::wstring output(const std::string& name) const { return dir.file(L"out\\" + from_utf8(name)); }
    CommandResult extract(const std::string& options) const { return run("Varno", options + " " + path + " " + out); }
};

// Empties the DLL's password: a quoted empty password.
void forget_dll_password() { run("Varno", "-P \"\" nothing.zip"); }

// ---------------------------------------------------------------------------------------------
// The dialog itself.

TEST(PasswordDialogTemplate, IsStoredExactlyAsLaidOut)
{
    DialogTemplate t;
    ASSERT_TRUE(read_dialog_template(varno_module(), IDD_PASSWORD, &t));
    EXPECT_EQ(t.style, 0x90C800CCu);
    EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_DLGMODALFRAME));
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 226);
    EXPECT_EQ(t.cy, 38);
    EXPECT_EQ(t.menu, L"");
    EXPECT_EQ(t.windowClass, L"");
    EXPECT_EQ(t.caption, L"Enter Password - varno");
    EXPECT_EQ(t.pointSize, 10);
    EXPECT_EQ(t.font, L"MS Shell Dlg 2");
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const std::vector<DialogControl> expected = {
        {IDC_PASSWORD_NOTE, L"STATIC", L"", child | SS_LEFTNOWORDWRAP, 38, 0, 160, 8},
        {-1, L"STATIC", L"&Password", child | SS_LEFTNOWORDWRAP, 2, 19, 36, 8},
        {IDC_PASSWORD_EDIT, L"EDIT", L"", child | ES_PASSWORD | ES_AUTOHSCROLL | ES_NOHIDESEL | WS_BORDER | WS_TABSTOP, 38,
         18, 160, 10},
        {IDOK, L"BUTTON", L"OK", child | BS_DEFPUSHBUTTON | BS_CENTER, 200, 2, 25, 12},
        {IDCANCEL, L"BUTTON", L"Cancel", child | BS_PUSHBUTTON | BS_CENTER, 200, 16, 25, 12},
    };
    ASSERT_EQ(t.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(t.controls[i], expected[i]) << "control " << i;
}

std::string stored_password()
{
    char buffer[kPasswordSize];
    copy_password(buffer);
    return buffer;
}

TEST(PasswordDialog, TypedTextArrivesAndCancelEscapeCloseLeaveTheBuffer)
{
    SKIP_WITHOUT_DESKTOP();
    const std::wstring title = L"C:\\some where\\archive.zip";
    store_password("before");
    RECT rect = {};
    {
        // Typed text (outside ASCII too) arrives as GetDlgItemTextA converts it.
        PasswordUser user(title, {{Answer::Type, L"p\x00E4ss w\x00F6rd"}});
        WindowWatch look(title, [&](HWND dialog) { GetWindowRect(dialog, &rect); });
        EXPECT_EQ(show_password_dialog(title.c_str()), 1);
        EXPECT_EQ(user.seen(), 1);
        EXPECT_EQ(user.notes(), std::vector<std::wstring>{L""});
    }
    EXPECT_EQ(stored_password(), "p\xE4ss w\xF6rd");
    RECT work;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(rect.left, work.left + (work.right - work.left - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, work.top + (work.bottom - work.top - (rect.bottom - rect.top)) / 2);

    for (Answer::Kind kind : {Answer::Cancel, Answer::Escape, Answer::Close}) {
        PasswordUser user(L"", {{kind, L""}});
        EXPECT_EQ(show_password_dialog(L""), 0) << kind;
        EXPECT_EQ(user.seen(), 1);
        EXPECT_EQ(stored_password(), "p\xE4ss w\xF6rd");
    }
    {
        // OK on nothing typed stores the empty password; a long one is cut to 1023 bytes.
        PasswordUser user(L"t", {{Answer::Type, L""}, {Answer::Type, std::wstring(1500, L'x')}});
        EXPECT_EQ(show_password_dialog(L"t"), 1);
        EXPECT_EQ(stored_password(), "");
        EXPECT_EQ(show_password_dialog(L"t"), 1);
        EXPECT_EQ(stored_password(), std::string(1023, 'x'));
    }
}

// ---------------------------------------------------------------------------------------------
// The protocol between the threads of one archive.

TEST(AcquirePassword, WaitsForAnotherThreadsDialogAndStopsOnAnAbortCode)
{
    SKIP_WITHOUT_DESKTOP();
    TestArchive archive(0);
    TestJob job(archive.get(), false);
    // Another worker's dialog is open: this one waits and takes what it left, without asking.
    archive->sharedState = -5;
    std::atomic<bool> returned{false};
    PasswordOutcome outcome = PasswordOutcome::Aborted;
    {
        PasswordUser user(L"x", {{Answer::Cancel, L""}});
        std::thread waiting([&] {
            outcome = acquire_password(&job.job, archive.get(), L"x");
            returned = true;
        });
        Sleep(350);
        EXPECT_FALSE(returned.load());
        InterlockedExchange(&archive->sharedState, 0);
        waiting.join();
        EXPECT_EQ(user.seen(), 0);
    }
    EXPECT_EQ(outcome, PasswordOutcome::Obtained);
    EXPECT_EQ(archive->sharedState, 0);

    // The overwrite channel is busy (-1): wait, then ask. Cancel stops the whole job.
    archive->sharedState = -1;
    {
        PasswordUser user(L"x", {{Answer::Cancel, L""}});
        std::thread later([&] {
            Sleep(250);
            InterlockedExchange(&archive->sharedState, 0);
        });
        EXPECT_EQ(acquire_password(&job.job, archive.get(), L"x"), PasswordOutcome::Cancelled);
        later.join();
        EXPECT_EQ(user.seen(), 1);
    }
    EXPECT_EQ(archive->sharedState, VARNO_ERROR_CANCELLED);

    // An abort code ends the wait at once, with that code and no message.
    archive->sharedState = 0x8020;
    TestJob other(archive.get(), false);
    EXPECT_EQ(acquire_password(&other.job, archive.get(), L"x"), PasswordOutcome::Aborted);
    EXPECT_EQ(other.result(), 0x8020);
    EXPECT_EQ(other.text(), "");
}

// ---------------------------------------------------------------------------------------------
// Traditional encryption through the exports.

Entry traditional(const std::string& name, const std::string& data, uint16_t method, uint16_t flags = 0)
{
    return {.name = name, .data = data, .method = method, .password = "secret", .flags = flags};
}

TEST(TraditionalDecryption, EntriesOfEveryShapeWithTheGivenPassword)
{
    const std::string text = text_of(300000, 4);
    const std::string noise = noise_of(3 * 1048576 + 5, 8);
    Entry longLocal = traditional("long-local.txt", "0123456789", 0);
    longLocal.localExtra = ziptest::extra_record(0xCAFE, std::string(40, 'L'));  // header split across reads
    const std::vector<Entry> entries = {
        traditional("stored.bin", noise, 0),
        traditional("deflate.txt", text, 8),
        traditional("descriptor.txt", text, 8, 0x0008),  // check byte from the time
        {.name = "plain.txt", .data = "not encrypted", .method = 0},
        traditional("empty.txt", "", 0),
        longLocal,
    };
    Archive a(entries);
    const CommandResult r = a.extract("-o -P secret");
    ASSERT_EQ(r.code, 0) << r.output;
    for (const Entry& e : entries)
        EXPECT_EQ(read_file(a.output(e.name)), e.data) << e.name;
    EXPECT_EQ(static_cast<int64_t>(read_file(a.output("stored.bin")).size()), static_cast<int64_t>(noise.size()));

    // Into memory: the caller's buffer gets the decrypted bytes.
    const CommandResult mem = run("Varno", "-p -P secret " + a.path + " deflate.txt", 400000);
    EXPECT_EQ(mem.code, 0);
    EXPECT_EQ(mem.output.substr(0, 100), text.substr(0, 100));
}

TEST(TraditionalDecryption, HeaderThatCannotBeReadFails)
{
    // A local header whose extra field length points past the end of the archive (a compressed
    // size too small for the header is one of the damaged entries of the extraction tests).
    Archive a({traditional("past.txt", "abc", 0)});
    std::string bytes = read_file(a.widePath);
    bytes[28] = bytes[29] = '\xFF';
    write_file(a.widePath, bytes);
    const CommandResult r = a.extract("-o -P secret");
    EXPECT_EQ(r.code, VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(r.output, "Archive read error 38");
    EXPECT_FALSE(file_exists(a.output("past.txt")));
}

// A wrong password that still matches the check byte, so that only the data reveal it.
std::string wrong_password_matching(const Entry& e)
{
    const std::string encrypted = ziptest::build_zip({e}).substr(30 + e.name.size(), 12);
    for (int i = 0;; ++i) {
        const std::string candidate = "wrong" + std::to_string(i);
        TraditionalKeys keys;
        if (key_encryption_header(&keys, candidate.c_str(), reinterpret_cast<const uint8_t*>(encrypted.data())) ==
            static_cast<uint8_t>(ziptest::crc32_of(e.data) >> 24))
            return candidate;
    }
}

TEST(TraditionalDecryption, WrongPasswordIsAskedAgainAndLeavesNothingWrong)
{
    SKIP_WITHOUT_DESKTOP();
    const std::string text = text_of(200000, 6);
    for (uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        Archive a({traditional("x.txt", text, method)});
        PasswordUser user(a.widePath, {{Answer::Type, L"secret"}});
        const CommandResult r = a.extract("-o -P wrong");
        EXPECT_EQ(r.code, 0) << r.output;
        EXPECT_EQ(user.seen(), 1);
        EXPECT_EQ(read_file(a.output("x.txt")), text);
    }
    // A wrong password that passes the check byte fails in the Deflate decoder: the same.
    const Entry e = traditional("d.txt", text, 8);
    Archive a({e});
    PasswordUser user(a.widePath, {{Answer::Type, L"secret"}});
    const CommandResult r = a.extract("-o -P " + wrong_password_matching(e));
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.rfind("Decode error -3 : ", 0), 0u) << r.output;
    EXPECT_EQ(user.seen(), 1);
    EXPECT_EQ(read_file(a.output("d.txt")), text);

    // Then the password is kept for later calls: no question.
    PasswordUser none(a.widePath, {{Answer::Cancel, L""}});
    EXPECT_EQ(a.extract("-o").code, 0);
    EXPECT_EQ(none.seen(), 0);
}

TEST(TraditionalDecryption, CancelEscapeAndCloseEndWithUserCancel)
{
    SKIP_WITHOUT_DESKTOP();
    for (Answer::Kind kind : {Answer::Cancel, Answer::Escape, Answer::Close}) {
        forget_dll_password();
        Archive a({traditional("x.txt", text_of(1000, 1), 8)});
        PasswordUser user(a.widePath, {{kind, L""}});
        const CommandResult r = a.extract("-o");
        EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED) << kind;
        EXPECT_EQ(r.output, "user cancel");
        EXPECT_EQ(user.seen(), 1);
        EXPECT_FALSE(file_exists(a.output("x.txt")));
    }
}

// Through the DLL (two workers under this runtime, whose storage probe gets no answer) and
// through the linked library told that the volume is fast (eight workers).
TEST(TraditionalDecryption, WorkersShowOneDialogAndAllTakeItsPassword)
{
    SKIP_WITHOUT_DESKTOP();
    std::vector<Entry> entries;
    for (int i = 0; i < 200; ++i)
        entries.push_back(traditional("f" + std::to_string(i) + ".txt", text_of(2000 + i, i), i % 2 ? 8 : 0));
    struct Case {
        const char* what;
        std::vector<Answer> answers;
        int dialogs;
        int result;
    } cases[] = {
        {"right password", {{Answer::Type, L"secret"}}, 1, 0},
        {"wrong, then right", {{Answer::Type, L"nope"}, {Answer::Type, L"secret"}}, 2, 0},
        {"cancelled", {{Answer::Cancel, L""}}, 1, VARNO_ERROR_CANCELLED},
    };
    const struct {
        Library library;
        StorageAnswer answer;
        const char* threads;
        const char* workers;  // the diagnostic's first words
    } setups[] = {
        {Library::dll, StorageAnswer::fromVolume, "-R4", "multimode thread:2"},
        {Library::linked, StorageAnswer::fast, "-R8", "multimode thread:8"},
    };
    for (const auto& setup : setups) {
        StorageAnswerScope answer(setup.answer);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + setup.workers);
            Archive a(entries);
            run("Varno", "-P \"\" nothing.zip", 4096, setup.library);  // an empty password
            PasswordUser user(a.widePath, c.answers);
            const CommandResult r =
                run("Varno", std::string("-o --q ") + setup.threads + " " + a.path + " " + a.out, 65536, setup.library);
            EXPECT_EQ(r.code, c.result) << r.output;
            EXPECT_EQ(user.seen(), c.dialogs);
            EXPECT_EQ(r.output.rfind(setup.workers, 0), 0u) << r.output.substr(0, 100);
            int extracted = 0;
            for (const Entry& e : entries) {
                if (file_exists(a.output(e.name))) {
                    EXPECT_EQ(read_file(a.output(e.name)), e.data) << e.name;
                    ++extracted;
                }
            }
            EXPECT_EQ(extracted, c.result == 0 ? 200 : 0);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// WinZip AES.

TEST(AesDecryption, EveryStrengthMethodAndVersion)
{
    const std::string text = text_of(150000, 2);
    std::vector<Entry> entries;
    const char* without192 = platform_aes192_unusable();
    for (uint8_t strength : {1, 2, 3}) {
        if (strength == 2 && without192)
            continue;
        for (uint16_t method : {0, 8})
            for (uint16_t version : {1, 2})
                entries.push_back(aes_entry("s" + std::to_string(strength) + "m" + std::to_string(method) + "v" +
                                                std::to_string(version),
                                            text.substr(strength * 100), "secret", {strength, method, version}));
    }
    entries.push_back(aes_entry("empty", "", "secret"));
    // A second AES record replaces the first (whose strength alone would fail).
    Entry twice = aes_entry("twice", "two records", "secret", {.strength = 1, .method = 0});
    twice.centralExtra = ziptest::extra_record(0x9901, std::string("\x02\x00" "AE\x09\x08\x00", 7)) + twice.centralExtra;
    entries.push_back(twice);
    entries.push_back({.name = "plain", .data = "plain", .method = 0});
    Archive a(entries);
    const CommandResult r = a.extract("-o -P secret");
    ASSERT_EQ(r.code, 0) << r.output;
    for (const Entry& e : entries)
        EXPECT_EQ(read_file(a.output(e.name)), e.data) << e.name;
    if (without192)
        GTEST_SKIP() << "192-bit keys left out (the other strengths passed): " << without192;
}

TEST(AesDecryption, BadExtraFieldsFail)
{
    struct Case {
        const char* what;
        std::string field;  // replaces the AES record
        std::string output;
    } cases[] = {
        {"data size below 7", std::string("\x01\x99\x06\x00\x02\x00" "AE\x03\x08", 10), "Archive read error "},
        {"another vendor", std::string("\x01\x99\x07\x00\x02\x00" "XE\x03\x08\x00", 11), "Archive read error "},
        {"strength 4", std::string("\x01\x99\x07\x00\x02\x00" "AE\x04\x08\x00", 11), "encrypt_bits error "},
    };
    for (const Case& c : cases) {
        Entry e = aes_entry("x", "data", "secret");
        e.centralExtra = c.field;
        Archive a({e});
        const CommandResult r = a.extract("-o -P secret");
        EXPECT_EQ(r.code, VARNO_ERROR_ARCHIVE_OPEN) << c.what;
        EXPECT_EQ(r.output.rfind(c.output, 0), 0u) << c.what << ": " << r.output;
        EXPECT_FALSE(file_exists(a.output("x"))) << c.what;
    }
}

TEST(AesDecryption, WrongPasswordShowsUnmatchThenAsksWithAnEmptyTitle)
{
    SKIP_WITHOUT_DESKTOP();
    const std::string text = text_of(70000, 3);
    Archive a({aes_entry("a.txt", text, "secret")});
    {
        MismatchBoxes boxes;
        PasswordUser user(L"", {{Answer::Type, L"still wrong"}, {Answer::Type, L"secret"}});
        const CommandResult r = a.extract("-o -P wrong");
        EXPECT_EQ(r.code, 0) << r.output;
        EXPECT_EQ(boxes.seen(), 2);
        EXPECT_EQ(user.seen(), 2);
        EXPECT_EQ(read_file(a.output("a.txt")), text);
    }
    // Cancelled: 0x8020 without a message, nothing written.
    DeleteFileW(a.output("a.txt").c_str());
    MismatchBoxes boxes;
    PasswordUser user(L"", {{Answer::Cancel, L""}});
    const CommandResult r = a.extract("-o -P wrong");
    EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(boxes.seen(), 1);
    EXPECT_FALSE(file_exists(a.output("a.txt")));
}

// Verification sees the decrypted bytes: encrypted entries of every kind pass, an AE-2 entry
// (which records no CRC) by its size, a wrong CRC of an AE-1 entry fails, and a wrong
// traditional password that slips past the check byte on a stored entry, which plain
// extraction cannot notice, ends in a CRC error with nothing left on disk.
TEST(VerifyDecrypted, EncryptedEntriesAreCheckedOnTheirPlainBytes)
{
    const std::string text = text_of(90000, 4);
    Entry badCrc = aes_entry("ae1-bad-crc", text, "secret", {.strength = 1, .method = 8, .vendorVersion = 1});
    badCrc.crc = ziptest::crc32_of(text) ^ 1;
    Archive a({traditional("t0", text, 0), traditional("t8", text, 8),
               aes_entry("ae1", text, "secret", {.strength = 3, .method = 8, .vendorVersion = 1}),
               aes_entry("ae2", text, "secret", {.strength = 1, .method = 0, .vendorVersion = 2}), badCrc});
    const CommandResult r = a.extract("-o --verify -P secret");
    EXPECT_EQ(r.code, VARNO_ERROR_DATA);
    EXPECT_EQ(r.output, "CRC error : " + to_ansi(a.output("ae1-bad-crc")));
    for (const char* name : {"t0", "t8", "ae1", "ae2"})
        EXPECT_EQ(read_file(a.output(name)), text) << name;
    EXPECT_FALSE(file_exists(a.output("ae1-bad-crc")));

    const Entry stored = traditional("s.txt", text, 0);
    Archive b({stored});
    const std::string wrong = wrong_password_matching(stored);
    EXPECT_EQ(b.extract("-o -P " + wrong).code, 0);  // undetectable without verification
    EXPECT_NE(read_file(b.output("s.txt")), text);
    DeleteFileW(b.output("s.txt").c_str());
    const CommandResult v = b.extract("-o --verify -P " + wrong);
    EXPECT_EQ(v.code, VARNO_ERROR_DATA);
    EXPECT_EQ(v.output, "CRC error : " + to_ansi(b.output("s.txt")));
    EXPECT_FALSE(file_exists(b.output("s.txt")));
}

// Where no desktop is usable nobody can be asked for a password: the question is cancelled at
// once, for a missing traditional password and for a wrong AES one, and nothing is written.
TEST(NoUsableDesktop, APasswordQuestionIsCancelledAtOnce)
{
    Archive traditionalArchive({traditional("t.txt", text_of(5000, 2), 8)});
    Archive aesArchive({aes_entry("a.txt", text_of(5000, 3), "secret")});
    InvisibleWindowStation invisible;
    ASSERT_TRUE(invisible.active() || no_desktop_reason());
    forget_dll_password();
    const CommandResult t = traditionalArchive.extract("-o");
    EXPECT_EQ(t.code, VARNO_ERROR_CANCELLED);
    EXPECT_EQ(t.output, "user cancel");
    EXPECT_FALSE(file_exists(traditionalArchive.output("t.txt")));
    const CommandResult a = aesArchive.extract("-o -P wrong");
    EXPECT_EQ(a.code, VARNO_ERROR_CANCELLED);
    EXPECT_FALSE(file_exists(aesArchive.output("a.txt")));
}

// The platform's AES and PBKDF2 are the references for the library's: single blocks on random
// keys and counters, the library's two keystreams over data cut at random places, and keys
// derived from random passwords and salts.
TEST(AesDecryption, PlatformAndCpuKeystreamsAgree)
{
    if (!aes_instructions_runnable())
        GTEST_SKIP() << "no AES instructions on this processor";
    const char* without192 = platform_aes192_unusable();
    std::mt19937 rng(17);
    auto random = [&](size_t n) {
        std::string s(n, '\0');
        for (char& c : s)
            c = static_cast<char>(rng());
        return s;
    };
    for (int round = 0; round < 30; ++round) {
        const uint32_t keyLength = without192 ? 16 + 16 * (round % 2) : 16 + 8 * (round % 3);
        const std::string key = random(keyLength);
        std::string counters;
        const uint64_t start = (static_cast<uint64_t>(rng()) << 32) | rng();
        std::string blocks(16 * 21, '\0');
        write_counter_blocks(start, reinterpret_cast<uint8_t*>(blocks.data()), 21);
        AesKeySchedule schedule;
        ASSERT_TRUE(aes_expand_key(reinterpret_cast<const uint8_t*>(key.data()), keyLength, &schedule));
        const std::string reference = aes_ecb(key, blocks);
        aes_encrypt_blocks(&schedule, reinterpret_cast<uint8_t*>(blocks.data()), 21);
        EXPECT_EQ(blocks, reference) << round;

        const std::string data = random(20000 + rng() % 5000);
        std::string viaCpu = data, viaPlatform = data;
        for (bool useInstructions : {true, false}) {
            AesState state = {};
            ASSERT_TRUE(start_aes_state(&state, reinterpret_cast<const uint8_t*>(key.data()), keyLength, useInstructions));
            std::string& target = useInstructions ? viaCpu : viaPlatform;
            for (size_t at = 0; at < target.size();) {
                const size_t n = std::min<size_t>(rng() % 1100, target.size() - at);
                ASSERT_TRUE(decrypt_aes_state(&state, reinterpret_cast<uint8_t*>(target.data()) + at, static_cast<uint32_t>(n)));
                at += n;
            }
            release_aes_state(&state);
        }
        EXPECT_EQ(viaCpu, viaPlatform) << round;
        EXPECT_NE(viaCpu, data);

        // The library's PBKDF2 against the platform's, on passwords of any length (longer than
        // a SHA-1 block too) and salts of every strength.
        const std::string password = random(rng() % 100);
        const std::string salt = random(8 + 4 * (round % 3));
        std::string derived(4 * salt.size() + 2, '\0');
        pbkdf2_hmac_sha1(reinterpret_cast<const uint8_t*>(password.data()), password.size(),
                         reinterpret_cast<const uint8_t*>(salt.data()), salt.size(), 1000,
                         reinterpret_cast<uint8_t*>(derived.data()), derived.size());
        EXPECT_EQ(derived, pbkdf2_sha1(password, salt, derived.size())) << round;
    }
    if (without192)
        GTEST_SKIP() << "192-bit keys left out (the others passed): " << without192;
}

}  // namespace
