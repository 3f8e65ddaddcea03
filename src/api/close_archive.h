// The end of every archive handle: the close exports, the end of each command and the count query.
#pragma once

struct ArchiveHandle;

// Closes the file, frees the directory, clears and destroys a progress window, frees the handle.
void close_archive(ArchiveHandle* archive);
