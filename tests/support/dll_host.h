// The DLL as a host sees it: loaded by name, functions looked up by their exported names.
#pragma once
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "varno_results.h"

namespace dlltest {

HMODULE varno_module();  // varno64.dll, loaded once per test program

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

// Runs a command through the export `exportName` ("UnZip" or "Varno") with a buffer of
// `bufferSize` bytes and returns its result code and the buffer's text.
CommandResult run(const char* exportName, const std::string& command, DWORD bufferSize = 65536);

// Switches the DLL's name code page for the lifetime of the object.
class UnicodeMode {
public:
    explicit UnicodeMode(bool on);
    ~UnicodeMode();
};

}  // namespace dlltest
