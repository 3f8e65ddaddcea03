#include "extract/extract_archive.h"

#include "api/extract_job.h"
#include "archive/archive_handle.h"
#include "varno_results.h"

void extract_archive(ExtractJob* job, const char*)
{
    ArchiveHandle* archive = job->archive;
    if (!load_central_directory(archive)) {
        if (archive->options.messageMask & 1)
            write_message(&job->sink, L"CentralDirectory read error");
        job->sink.result = VARNO_ERROR_DECODER;
        return;
    }
    job->sink.result = 0;
}
