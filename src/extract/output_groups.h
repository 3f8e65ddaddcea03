// Records that write one output file. An archive made by appending holds several records of one
// name, and names that differ only in letter case (README and readme from a Linux tree) land on
// one Windows file. Extracted by different threads, such records would end as whichever thread
// came first made them end; so all records of one path are extracted by the thread that meets
// the first of them, in archive order, which is what a single thread makes of them.
#pragma once
#include <stdint.h>

#include "archive/central_directory.h"

struct ExtractJob;

constexpr uint32_t kNoRecord = 0xFFFFFFFF;

// The records of the loaded directory (by index in directory order) that share an output path
// with another. Empty (count 0, nothing allocated) when no two records share one.
struct OutputGroups {
    const uint8_t* directory;  // the loaded directory these indexes count in
    const uint8_t* directoryEnd;
    uint32_t count;            // records
    uint32_t* offsets;         // each record's offset from the directory's start
    uint32_t* next;            // the next record of the same path, or kNoRecord
    uint8_t* follows;          // nonzero for a record that an earlier one of its path brings along
};

// Groups the records of the job's loaded directory by the output path each would be written
// to below the job's output folder, compared as Windows compares paths: regardless of case,
// with the dots and blanks that end a path part dropped. One pass over the names and a sort.
// False when the memory for it could not be had.
bool find_output_groups(const ExtractJob* job, OutputGroups* groups);

void release_output_groups(OutputGroups* groups);

// A run of records in the order they are extracted in: a record that an earlier one of its path
// brings along is passed over, and the first record of a path is followed at once by the later
// ones of that path, wherever they lie.
struct RunWalk {
    CentralCursor cursor;        // the run
    const OutputGroups* groups;  // null, or empty: the run as it lies
    uint32_t pending;            // the next record of the path being extracted, or kNoRecord
};

// The next record of the walk with its decoded name, or null at the end of the run.
const uint8_t* next_run_entry(RunWalk* walk, char* name);
