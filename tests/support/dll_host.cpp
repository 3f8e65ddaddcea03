#include "dll_host.h"

#include <string.h>

#include <vector>

#include "varno.h"

namespace dlltest {

HMODULE varno_module()
{
    static HMODULE module = LoadLibraryW(VARNO_DLL_FILE);
    return module;
}

CommandResult run(const char* exportName, const std::string& command, DWORD bufferSize, Library library)
{
    CommandFn call = nullptr;
    if (library == Library::dll)
        call = fn<CommandFn>(exportName);
    else if (strcmp(exportName, "UnZip") == 0)
        call = UnZip;
    else if (strcmp(exportName, "Varno") == 0)
        call = Varno;
    if (!call) {
        ADD_FAILURE() << "no command call " << exportName;
        return {-1, std::string()};
    }
    std::vector<char> buffer(bufferSize + 1, '\x7f');
    CommandResult r;
    r.code = call(nullptr, command.c_str(), buffer.data(), bufferSize);
    if (bufferSize)
        r.output.assign(buffer.data(), strnlen(buffer.data(), bufferSize));
    EXPECT_EQ(buffer[bufferSize], '\x7f') << "the DLL wrote past the buffer";
    return r;
}

UnicodeMode::UnicodeMode(bool on) { fn<BOOL(WINAPI*)(BOOL)>("UnZipSetUnicodeMode")(on); }
UnicodeMode::~UnicodeMode() { fn<BOOL(WINAPI*)(BOOL)>("UnZipSetUnicodeMode")(FALSE); }

}  // namespace dlltest
