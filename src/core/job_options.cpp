#include "core/job_options.h"

void set_default_options(JobOptions* o)
{
    o->junkPaths = 0;
    o->overwriteMode = 3;
    o->messageMask = 3;
    o->syntaxMode = 0;
    o->skipExisting = 0;
    o->threadCount = 4;
    o->bracketEscapes = 0;
    o->safePaths = 1;
    o->outputMode = 0;
    o->progressWindow = 1;
    o->excludeRefused = 0;
    o->listMode = 0;
    o->keepSlashes = 0;
    o->verifyMode = kVerifyOff;
}

void set_options_from_mode(JobOptions* o, int32_t mode)
{
    set_default_options(o);
    if (mode & 0x0001)
        o->bracketEscapes = 1;
    if (mode & 0x001E)
        o->outputMode = mode & 0x1E;
    // Only the first of the four style bits counts.
    static const int32_t styleBits[4] = {0x0100, 0x0200, 0x0400, 0x0800};
    for (int32_t i = 0; i < 4; ++i) {
        if (mode & styleBits[i]) {
            o->syntaxMode = i + 1;
            o->keepSlashes = 1;
            o->bracketEscapes = 1;
            if (styleBits[i] == 0x0200)
                o->overwriteMode = 0;
            break;
        }
    }
    if (mode & 0x0020)
        o->overwriteMode = 0;
}
