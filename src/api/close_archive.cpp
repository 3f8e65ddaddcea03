#include "api/close_archive.h"

#include <stdlib.h>

#include "archive/archive_handle.h"
#include "ui/progress_window.h"

void close_archive(ArchiveHandle* archive)
{
    archive->reader.close();
    free_parts(archive->parts);
    free(archive->cdBuffer);
    free(archive->refusedEntries);
    close_progress_window(archive);
    free(archive);
}
