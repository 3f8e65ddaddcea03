#include "api/close_archive.h"

#include <stdlib.h>

#include "archive/archive_handle.h"
#include "ui/progress_window.h"

void close_archive(ArchiveHandle* archive)
{
    if (archive->file != INVALID_HANDLE_VALUE)
        CloseHandle(archive->file);
    free(archive->cdBuffer);
    free(archive->refusedEntries);
    close_progress_window(archive);
    free(archive);
}
