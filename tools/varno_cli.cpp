// varno.exe: a command-line host for the library.
//
//   varno [--unzip] [--utf8] [--buffer=BYTES] command words...
//
// Loads varno64.dll by name, joins the words into one command string (a word with a blank is
// quoted), calls Varno (or UnZip with --unzip), prints the output buffer and exits with the
// result code (also written to standard error when it is not 0). --utf8 switches the library to
// UTF-8 names first.
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

using CommandCall = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
using UnicodeModeCall = BOOL(WINAPI*)(BOOL);

void write_stderr(const char* text)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

void write_stdout(const char* text, size_t length)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 0x100000 ? 0x100000 : static_cast<DWORD>(length);
        if (!WriteFile(out, text, chunk, &written, nullptr) || written == 0)
            return;
        text += written;
        length -= written;
    }
}

bool has_blank(const wchar_t* word)
{
    for (; *word; ++word)
        if (*word <= 0x20)
            return true;
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    bool unzip = false;
    bool utf8 = false;
    unsigned long long bufferSize = 16u << 20;
    int first = 1;
    for (; first < argc; ++first) {
        if (wcscmp(argv[first], L"--unzip") == 0)
            unzip = true;
        else if (wcscmp(argv[first], L"--utf8") == 0)
            utf8 = true;
        else if (wcsncmp(argv[first], L"--buffer=", 9) == 0)
            bufferSize = wcstoull(argv[first] + 9, nullptr, 10);
        else
            break;
    }
    if (first >= argc) {
        write_stderr("usage: varno [--unzip] [--utf8] [--buffer=BYTES] command words...\n");
        return 2;
    }

    HMODULE dll = LoadLibraryW(L"varno64.dll");
    if (!dll) {
        write_stderr("varno: cannot load varno64.dll\n");
        return 2;
    }
    auto call = reinterpret_cast<CommandCall>(reinterpret_cast<void*>(GetProcAddress(dll, unzip ? "UnZip" : "Varno")));
    auto unicodeMode = reinterpret_cast<UnicodeModeCall>(reinterpret_cast<void*>(GetProcAddress(dll, "VarnoSetUnicodeMode")));
    if (!call || !unicodeMode) {
        write_stderr("varno: varno64.dll lacks its exports\n");
        return 2;
    }
    const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    unicodeMode(utf8 ? TRUE : FALSE);

    // Join the words in the DLL's code page; words with blanks are quoted, quotes doubled.
    size_t capacity = 1;
    for (int i = first; i < argc; ++i)
        capacity += 3 + 2 * static_cast<size_t>(WideCharToMultiByte(codePage, 0, argv[i], -1, nullptr, 0, nullptr, nullptr));
    char* command = static_cast<char*>(malloc(capacity));
    char* word = static_cast<char*>(malloc(capacity));
    char* output = static_cast<char*>(malloc(bufferSize ? bufferSize : 1));
    if (!command || !word || !output) {
        write_stderr("varno: out of memory\n");
        return 2;
    }
    size_t used = 0;
    for (int i = first; i < argc; ++i) {
        WideCharToMultiByte(codePage, 0, argv[i], -1, word, static_cast<int>(capacity), nullptr, nullptr);
        if (used)
            command[used++] = ' ';
        const bool quote = has_blank(argv[i]);
        if (quote)
            command[used++] = '"';
        for (const char* c = word; *c; ++c) {
            if (quote && *c == '"')
                command[used++] = '"';
            command[used++] = *c;
        }
        if (quote)
            command[used++] = '"';
    }
    command[used] = 0;

    const int result = call(nullptr, command, output, static_cast<DWORD>(bufferSize));
    if (bufferSize) {
        const size_t length = strnlen(output, bufferSize);
        write_stdout(output, length);
        if (length)
            write_stdout("\r\n", 2);
    }
    // Exit codes reach a Linux shell cut to 8 bits, so the whole code is also told.
    if (result != 0) {
        char line[48];
        wsprintfA(line, "varno: result 0x%X\n", result);
        write_stderr(line);
    }
    return result;
}
