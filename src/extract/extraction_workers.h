// Worker threads: large extractions are cut into contiguous runs of central-directory records,
// each extracted by a thread of its own while the caller's thread answers their questions.
#pragma once
#include <stdint.h>

struct ExtractJob;
struct OutputGroups;

constexpr int kMaxWorkers = 8;

// True when a selection is worth workers: an extraction into files of all entries, with
// threads allowed, and at least 40 entries (or 2 in an archive of 100,000,000 bytes or more).
bool should_use_workers(const ExtractJob* job, const char* name);

// Extracts every entry with up to threadCount workers and waits for all of them; records of one
// output path (groups) go to one worker. Returns the first of the records at the end of the
// directory that no worker could be started for, for the caller's thread to extract in the
// same way, or null when workers took every record.
const uint8_t* extract_with_workers(ExtractJob* job, const OutputGroups* groups);

// 1 when the volume of path incurs a seek penalty or cannot be shown to be fast, else 0.
int32_t probe_storage_kind(const wchar_t* path);

// The seek-penalty answer that probe_storage_kind works with: the volume's own, or one given by
// a test that runs the library's objects in its own program, so that the paths of other
// volumes run on any machine. Nothing in the library's interface reaches it.
enum class StorageAnswer : int32_t { fromVolume, fast, rotating, unknown };
void set_storage_answer_for_tests(StorageAnswer answer);
