#include "extract/output_groups.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "archive/archive_handle.h"
#include "archive/entry_names.h"
#include "core/extract_job.h"
#include "extract/extract_entry.h"

namespace {

struct KeyedRecord {
    uint64_t key;
    uint32_t index;
};

int by_key(const void* a, const void* b)
{
    const KeyedRecord& x = *static_cast<const KeyedRecord*>(a);
    const KeyedRecord& y = *static_cast<const KeyedRecord*>(b);
    if (x.key != y.key)
        return x.key < y.key ? -1 : 1;
    return x.index < y.index ? -1 : x.index > y.index;
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A 64-bit hash of the path that the record's entry is written to, in the form the file system
// compares: its parts joined by '\', each without the dots and blanks that end it (Win32 drops
// them), empty parts left out, in capitals. Two paths of one hash are taken for one path: a
// false match only keeps two records on one thread.
uint64_t path_key(const ExtractJob* job, const uint8_t* entry, char* name)
{
    const ArchiveHandle* archive = job->archive;
    wchar_t wide[kPathUnits];
    if (!decode_entry_name(archive, entry, name, wide))
        return 0x9E3779B97F4A7C15ull * (static_cast<uint64_t>(entry - archive->cdBuffer) + 1);  // its own
    bool trailingSeparator = false;
    const wchar_t* part = output_part(wide, archive->options.junkPaths && job->outputDir[0] != 0, &trailingSeparator);
    wchar_t key[kPathUnits];
    int32_t length = 0;
    for (const wchar_t* p = part; *p;) {
        while (is_separator(*p))
            ++p;
        const wchar_t* start = p;
        while (*p && !is_separator(*p))
            ++p;
        const wchar_t* end = p;
        while (end > start && (end[-1] == L'.' || end[-1] == L' '))
            --end;
        if (end == start)
            continue;
        if (length > 0)
            key[length++] = L'\\';
        memcpy(key + length, start, static_cast<size_t>(end - start) * sizeof(wchar_t));
        length += static_cast<int32_t>(end - start);
    }
    if (length > 0)
        CharUpperBuffW(key, static_cast<DWORD>(length));
    uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
    for (int32_t i = 0; i < length; ++i) {
        hash ^= static_cast<uint16_t>(key[i]);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// The index of the record at entry.
uint32_t record_index(const OutputGroups* groups, const uint8_t* entry)
{
    const uint32_t offset = static_cast<uint32_t>(entry - groups->directory);
    uint32_t low = 0;
    uint32_t high = groups->count;
    while (high - low > 1) {
        const uint32_t middle = low + (high - low) / 2;
        if (groups->offsets[middle] <= offset)
            low = middle;
        else
            high = middle;
    }
    return low;
}

}  // namespace

bool find_output_groups(const ExtractJob* job, OutputGroups* groups)
{
    const ArchiveHandle* archive = job->archive;
    *groups = {archive->cdBuffer, archive->cdEnd, 0, nullptr, nullptr, nullptr};
    const uint32_t count = count_central_headers(archive->cdBuffer, archive->cdEnd);
    if (count < 2)
        return true;
    KeyedRecord* keyed = static_cast<KeyedRecord*>(malloc(count * sizeof(KeyedRecord)));
    uint8_t* block = static_cast<uint8_t*>(malloc(count * (2 * sizeof(uint32_t) + 1)));
    if (!keyed || !block) {
        free(keyed);
        free(block);
        return false;
    }
    uint32_t* offsets = reinterpret_cast<uint32_t*>(block);
    uint32_t* next = offsets + count;
    uint8_t* follows = reinterpret_cast<uint8_t*>(next + count);

    CentralCursor cursor = {archive->cdBuffer, archive->cdEnd, archive->options.safePaths};
    char name[kNameSize];
    uint32_t n = 0;
    while (n < count) {
        const uint8_t* entry = next_central_entry(&cursor, name);
        if (!entry)
            break;
        offsets[n] = static_cast<uint32_t>(entry - archive->cdBuffer);
        next[n] = kNoRecord;
        follows[n] = 0;
        keyed[n] = {path_key(job, entry, name), n};
        ++n;
    }
    // Records of one key lie side by side in directory order once sorted.
    qsort(keyed, n, sizeof(KeyedRecord), by_key);
    bool shared = false;
    for (uint32_t i = 1; i < n; ++i) {
        if (keyed[i].key == keyed[i - 1].key) {
            next[keyed[i - 1].index] = keyed[i].index;
            follows[keyed[i].index] = 1;
            shared = true;
        }
    }
    free(keyed);
    if (!shared) {
        free(block);
        return true;
    }
    groups->count = n;
    groups->offsets = offsets;
    groups->next = next;
    groups->follows = follows;
    return true;
}

void release_output_groups(OutputGroups* groups)
{
    free(groups->offsets);
    groups->offsets = nullptr;
    groups->count = 0;
}

const uint8_t* next_run_entry(RunWalk* walk, char* name)
{
    const OutputGroups* groups = walk->groups;
    if (!groups || groups->count == 0)
        return next_central_entry(&walk->cursor, name);
    if (walk->pending != kNoRecord) {
        const uint32_t index = walk->pending;
        walk->pending = groups->next[index];
        CentralCursor at = {groups->directory + groups->offsets[index], groups->directoryEnd, walk->cursor.safePaths};
        return next_central_entry(&at, name);
    }
    while (const uint8_t* entry = next_central_entry(&walk->cursor, name)) {
        const uint32_t index = record_index(groups, entry);
        if (groups->follows[index])
            continue;
        walk->pending = groups->next[index];
        return entry;
    }
    return nullptr;
}
