#include "extract/job_messages.h"

#include <stdarg.h>

#include "archive/archive_handle.h"

bool job_wants_message(const ExtractJob* job, int bit) { return (job->archive->options.messageMask >> bit) & 1; }

void job_message(ExtractJob* job, int bit, const wchar_t* format, ...)
{
    if (!job_wants_message(job, bit))
        return;
    va_list args;
    va_start(args, format);
    write_message_v(&job->sink, format, args);
    va_end(args);
}
