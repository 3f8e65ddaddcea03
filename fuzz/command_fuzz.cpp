// The command walk over arbitrary command strings and list-file contents: every token and
// option path, with an archive that always opens and list files that always read.
#include <stdint.h>
#include <string.h>

#include <string>

#include "api/command_walk.h"

namespace {

class FuzzHost : public CommandHost {
public:
    FuzzHost() : CommandHost(&code) {}
    JobOptions* open_archive(const char* name, const JobOptions& options) override
    {
        if (strlen(name) >= kTokenSize)
            __builtin_trap();
        archive = options;
        return &archive;
    }
    bool output_dir_is_empty() override { return directoryEmpty; }
    OutputDirResult set_output_dir(const char* token) override
    {
        directoryEmpty = token[0] == 0;
        return directoryEmpty ? OutputDirResult::ConvertedEmpty : OutputDirResult::Converted;
    }
    void extract(const char* name) override
    {
        if (name && strlen(name) >= kTokenSize)
            __builtin_trap();
        // Names of their own ask for the fatal and the cancelled paths now and then.
        if (name && name[0] == '!')
            code = 0x8048;
        if (name && name[0] == '~')
            code = 0x8020;
    }
    bool run_list_file(const char* name, const JobOptions& options) override
    {
        const size_t n = strlen(name);
        std::string data(name, n);
        data.append(kListFileZeroTail, '\0');
        walk_list_tokens(data.data(), static_cast<uint32_t>(n), options, *this);
        return n % 2 == 0;
    }
    void set_password(const char* password) override
    {
        if (strlen(password) >= kPasswordSize)
            __builtin_trap();
    }
    int32_t code = 0;
    JobOptions archive{};
    bool directoryEmpty = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the export's mode word; the rest is the command string.
    const int32_t modes[4] = {kModeVarno, kModeUnZip, kModeExtractMem, kModeVarnoParamMemory};
    std::string command(reinterpret_cast<const char*>(data) + 1, size - 1);
    FuzzHost host;
    walk_command(command.c_str(), modes[data[0] & 3], host);
    return 0;
}
