// The four command calls. Each runs one command string through the command driver.
#include "api/run_command.h"
#include "core/job_options.h"
#include "varno.h"

extern "C" {

int WINAPI UnZip(HWND owner, LPCSTR command, LPSTR output, DWORD outputSize)
{
    return run_command(owner, command, output, outputSize, nullptr, kModeUnZip);
}

int WINAPI Varno(HWND owner, LPCSTR command, LPSTR output, DWORD outputSize)
{
    return run_command(owner, command, output, outputSize, nullptr, kModeVarno);
}

int WINAPI VarnoParam(HWND owner, LPCSTR command, LPSTR output, DWORD outputSize, void** memorySlot)
{
    if (!memorySlot)
        return run_command(owner, command, output, outputSize, nullptr, kModeVarno);
    *memorySlot = nullptr;
    ParamBlock params = {memorySlot, nullptr, nullptr, nullptr};
    return run_command(owner, command, output, outputSize, &params, kModeVarnoParamMemory);
}

int WINAPI UnZipExtractMem(HWND owner, LPCSTR command, LPBYTE output, DWORD outputSize, ULONGLONG* timeOut,
                           WORD* attributesOut, ULONGLONG* sizeOut)
{
    ParamBlock params = {nullptr, timeOut, attributesOut, sizeOut};
    return run_command(owner, command, reinterpret_cast<char*>(output), outputSize, &params, kModeExtractMem);
}

}  // extern "C"
