// The DLL as a host sees it: loaded by name, functions looked up by their exported names. The
// same calls can also go to the library's objects linked into the test program, whose storage
// probe a test may give its answer.
#pragma once
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "extract/extraction_workers.h"
#include "varno_results.h"

namespace dlltest {

HMODULE varno_module();  // the build's DLL (VARNO_DLL_FILE), loaded once per test program

// The export `name` as a function pointer of type F; fails the test when it is missing.
template <typename F>
F fn(const char* name)
{
    FARPROC p = GetProcAddress(varno_module(), name);
    EXPECT_NE(p, nullptr) << "missing export " << name;
    return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

using CommandFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
using ExtractMemFn = int(WINAPI*)(HWND, LPCSTR, LPBYTE, DWORD, ULONGLONG*, WORD*, ULONGLONG*);
using ParamFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD, void**);

struct CommandResult {
    int code;
    std::string output;
};

// Which copy of the library runs a command: the DLL, or the library's objects linked into the
// test program (the same code with the library state of the program's own copy).
enum class Library { dll, linked };

// Runs a command through the export `exportName` ("UnZip" or "Varno") with a buffer of
// `bufferSize` bytes and returns its result code and the buffer's text.
CommandResult run(const char* exportName, const std::string& command, DWORD bufferSize = 65536,
                  Library library = Library::dll);

// Gives the linked library's storage probe this answer while the object lives.
class StorageAnswerScope {
public:
    explicit StorageAnswerScope(StorageAnswer answer) { set_storage_answer_for_tests(answer); }
    ~StorageAnswerScope() { set_storage_answer_for_tests(StorageAnswer::fromVolume); }
    StorageAnswerScope(const StorageAnswerScope&) = delete;
    StorageAnswerScope& operator=(const StorageAnswerScope&) = delete;
};

// Switches the DLL's name code page for the lifetime of the object.
class UnicodeMode {
public:
    explicit UnicodeMode(bool on);
    ~UnicodeMode();
};

}  // namespace dlltest
