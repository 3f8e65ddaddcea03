// varno_linked.exe: the benchmarks' host for runs with a given storage answer, or with fewer
// processors for a decoder's helpers. It runs the library's objects linked into itself, since the
// DLL always takes the output volume's answer and the machine's processors.
//
//   varno_linked ANSWER COMMAND [THREADS]    ANSWER: volume, fast, rotating or unknown
//
// Runs the one command string COMMAND through Varno, prints the messages and exits with the
// result code (also written to standard error when it is not 0). THREADS counts all processors
// but that many busy, so that a decoder that splits an entry uses at most THREADS threads (1:
// the entry's own thread alone).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "codec/decode_threads.h"
#include "core/library_state.h"
#include "extract/extraction_workers.h"
#include "varno.h"

int wmain(int argc, wchar_t** argv)
{
    static const struct {
        const wchar_t* name;
        StorageAnswer answer;
    } answers[] = {{L"volume", StorageAnswer::fromVolume},
                   {L"fast", StorageAnswer::fast},
                   {L"rotating", StorageAnswer::rotating},
                   {L"unknown", StorageAnswer::unknown}};
    int chosen = -1;
    for (int i = 0; (argc == 3 || argc == 4) && i < 4; ++i) {
        if (wcscmp(argv[1], answers[i].name) == 0)
            chosen = i;
    }
    if (chosen < 0) {
        fputs("usage: varno_linked volume|fast|rotating|unknown COMMAND [THREADS]\n", stderr);
        return 2;
    }
    on_process_attach(GetModuleHandleW(nullptr));
    set_storage_answer_for_tests(answers[chosen].answer);
    if (argc == 4) {
        const uint32_t threads = static_cast<uint32_t>(wcstoul(argv[3], nullptr, 10));
        take_idle_processors(threads < processor_count() ? processor_count() - threads : 0);
    }

    const int length = WideCharToMultiByte(CP_ACP, 0, argv[2], -1, nullptr, 0, nullptr, nullptr);
    char* command = static_cast<char*>(malloc(length));
    const DWORD outputSize = 16u << 20;
    char* output = static_cast<char*>(malloc(outputSize));
    if (!command || !output) {
        fputs("varno_linked: out of memory\n", stderr);
        return 2;
    }
    WideCharToMultiByte(CP_ACP, 0, argv[2], -1, command, length, nullptr, nullptr);
    const int result = Varno(nullptr, command, output, outputSize);
    fwrite(output, 1, strnlen(output, outputSize), stdout);
    if (result != 0)
        fprintf(stderr, "varno_linked: result 0x%X\n", result);
    return result;
}
