#include "archive/archive_reader.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

// The start of the file name in path.
const wchar_t* file_name_of(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    }
    return name;
}

// The part number that a file name's extension gives: "z" and two or more digits in a spanned
// set, three or more digits among pieces; 0 for any other extension, or one beyond kMaxParts.
uint32_t part_number(const wchar_t* extension, bool spanned)
{
    if (spanned) {
        if (*extension != L'z' && *extension != L'Z')
            return 0;
        ++extension;
    }
    uint64_t number = 0;
    size_t digits = 0;
    for (; extension[digits]; ++digits) {
        if (extension[digits] < L'0' || extension[digits] > L'9' || digits > 6)
            return 0;
        number = number * 10 + static_cast<uint32_t>(extension[digits] - L'0');
    }
    if (digits < (spanned ? 2u : 3u) || number == 0 || number > kMaxParts)
        return 0;
    return static_cast<uint32_t>(number);
}

// What the named file says about its set: the folder and the base name its parts share.
struct SetName {
    const wchar_t* path;
    size_t folderLength;  // up to the file name
    size_t baseLength;    // of the file name without its last extension
    bool upperCase;
};

SetName set_name(const wchar_t* path)
{
    SetName set = {path, static_cast<size_t>(file_name_of(path) - path), 0, false};
    const wchar_t* name = path + set.folderLength;
    const wchar_t* dot = wcsrchr(name, L'.');
    set.baseLength = dot ? static_cast<size_t>(dot - name) : wcslen(name);
    set.upperCase = dot && dot[1] >= L'A' && dot[1] <= L'Z';
    return set;
}

// Calls take(part number, found file) for each file beside the named one whose name is the base
// name (in any letter case) and a part's extension.
template <typename Take>
void for_each_part_file(const SetName& set, bool spanned, Take take)
{
    wchar_t pattern[MAX_PATH * 4];
    if (set.folderLength + set.baseLength + 3 > sizeof pattern / sizeof pattern[0])
        return;
    memcpy(pattern, set.path, (set.folderLength + set.baseLength) * sizeof(wchar_t));
    wcscpy(pattern + set.folderLength + set.baseLength, L".*");
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    const wchar_t* base = set.path + set.folderLength;
    const int baseLength = static_cast<int>(set.baseLength);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (wcslen(found.cFileName) <= set.baseLength || found.cFileName[set.baseLength] != L'.' ||
            CompareStringOrdinal(found.cFileName, baseLength, base, baseLength, TRUE) != CSTR_EQUAL)
            continue;
        if (const uint32_t number = part_number(found.cFileName + set.baseLength + 1, spanned))
            take(number, found);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

uint64_t size_of(const WIN32_FIND_DATAW& found)
{
    return static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
}

// One block for the parts of a set of count parts with nameUnits units of paths.
ArchiveParts* allocate_parts(uint32_t count, size_t nameUnits, const SetName& set)
{
    const size_t bytes = sizeof(ArchiveParts) + (2 * static_cast<size_t>(count) + 1) * sizeof(uint64_t) +
                         count * sizeof(wchar_t*) + (nameUnits + set.baseLength + 1) * sizeof(wchar_t);
    uint8_t* block = static_cast<uint8_t*>(calloc(1, bytes));
    if (!block)
        return nullptr;
    ArchiveParts* parts = reinterpret_cast<ArchiveParts*>(block);
    parts->layout.start = reinterpret_cast<uint64_t*>(block + sizeof(ArchiveParts));
    parts->layout.present = parts->layout.start + count + 1;
    parts->paths = reinterpret_cast<wchar_t**>(parts->layout.present + count);
    parts->baseName = reinterpret_cast<wchar_t*>(parts->paths + count);
    memcpy(parts->baseName, set.path + set.folderLength, set.baseLength * sizeof(wchar_t));
    parts->upperCase = set.upperCase;
    return parts;
}

// Stores path (the folder and name) as part `part`'s at *cursor, which moves past it.
void keep_path(ArchiveParts* parts, uint32_t part, const SetName& set, const wchar_t* name, wchar_t** cursor)
{
    parts->paths[part] = *cursor;
    memcpy(*cursor, set.path, set.folderLength * sizeof(wchar_t));
    wcscpy(*cursor + set.folderLength, name);
    *cursor += set.folderLength + wcslen(name) + 1;
}

// The set of count parts: part numbers 1 to count, from the files beside path, and the named
// file as the last part of a spanned set (lastSize bytes).
ArchiveParts* collect_parts(const SetName& set, uint32_t count, bool spanned, uint64_t lastSize)
{
    const uint32_t found = spanned ? count - 1 : count;  // the parts looked for in the folder
    size_t units = set.folderLength + wcslen(set.path + set.folderLength) + 1;
    for_each_part_file(set, spanned, [&](uint32_t number, const WIN32_FIND_DATAW& file) {
        if (number <= found)
            units += set.folderLength + wcslen(file.cFileName) + 1;
    });
    ArchiveParts* parts = allocate_parts(count, units, set);
    if (!parts)
        return nullptr;
    // The sizes go into the present values, which lay_out_parts then replaces in place.
    uint64_t* sizes = parts->layout.present;
    for (uint32_t i = 0; i < count; ++i)
        sizes[i] = kMissingPart;
    wchar_t* cursor = parts->baseName + set.baseLength + 1;
    wchar_t* const end = cursor + units;
    // A file that appeared since the first look is taken only while its path fits.
    for_each_part_file(set, spanned, [&](uint32_t number, const WIN32_FIND_DATAW& file) {
        if (number <= found && sizes[number - 1] == kMissingPart &&
            cursor + set.folderLength + wcslen(file.cFileName) + 1 <= end) {
            sizes[number - 1] = size_of(file);
            keep_path(parts, number - 1, set, file.cFileName, &cursor);
        }
    });
    if (spanned) {
        sizes[count - 1] = lastSize;
        keep_path(parts, count - 1, set, set.path + set.folderLength, &cursor);
    }
    lay_out_parts(sizes, count, spanned, &parts->layout);
    return parts;
}

}  // namespace

ArchiveParts* single_part(const wchar_t* path, uint64_t size)
{
    const SetName set = set_name(path);
    ArchiveParts* parts = allocate_parts(1, wcslen(path) + 1, set);
    if (!parts)
        return nullptr;
    wchar_t* cursor = parts->baseName + set.baseLength + 1;
    keep_path(parts, 0, set, path + set.folderLength, &cursor);
    lay_out_parts(&size, 1, false, &parts->layout);
    return parts;
}

ArchiveParts* find_pieces(const wchar_t* path)
{
    const SetName set = set_name(path);
    const wchar_t* name = path + set.folderLength;
    if (name[set.baseLength] != L'.' || part_number(name + set.baseLength + 1, false) == 0)
        return nullptr;
    uint32_t count = 0;
    for_each_part_file(set, false, [&](uint32_t number, const WIN32_FIND_DATAW&) {
        if (number > count)
            count = number;
    });
    // The named piece is there even when the folder cannot be listed.
    if (count == 0)
        return nullptr;
    return collect_parts(set, count, false, 0);
}

ArchiveParts* find_spanned_parts(const wchar_t* path, uint32_t lastDisk, uint64_t lastSize)
{
    if (lastDisk >= kMaxParts)
        return nullptr;
    return collect_parts(set_name(path), lastDisk + 1, true, lastSize);
}

void free_parts(ArchiveParts* parts) { free(parts); }

int64_t first_lacking_part(const ArchiveParts* parts)
{
    const PartLayout& layout = parts->layout;
    for (uint32_t i = 0; i < layout.count; ++i) {
        if (!parts->paths[i] || layout.present[i] < layout.start[i + 1] - layout.start[i])
            return i;
    }
    return -1;
}

void part_file_name(const ArchiveParts* parts, uint32_t part, wchar_t* name, size_t capacity)
{
    if (parts->paths[part]) {
        wcsncpy(name, file_name_of(parts->paths[part]), capacity - 1);
        name[capacity - 1] = 0;
        return;
    }
    // The name the part would have: the base name, then ".z01" (".Z01") or ".001".
    wchar_t extension[12] = L".";
    size_t at = 1;
    if (parts->layout.spanned)
        extension[at++] = parts->upperCase ? L'Z' : L'z';
    const uint32_t number = part + 1;
    const size_t digits = number >= 10000 ? 5 : number >= 1000 ? 4 : number >= 100 || !parts->layout.spanned ? 3 : 2;
    for (size_t i = digits, value = number; i-- > 0; value /= 10)
        extension[at + i] = static_cast<wchar_t>(L'0' + value % 10);
    extension[at + digits] = 0;
    const size_t baseLength = wcslen(parts->baseName);
    const size_t kept = baseLength < capacity - 1 ? baseLength : capacity - 1;
    memcpy(name, parts->baseName, kept * sizeof(wchar_t));
    wcsncpy(name + kept, extension, capacity - 1 - kept);
    name[capacity - 1] = 0;
}

bool ArchiveReader::open(const ArchiveParts* parts, uint32_t part, HANDLE file)
{
    const uint32_t count = parts->layout.count;
    files_ = count == 1 ? &single_ : static_cast<PartFile*>(malloc(count * sizeof(PartFile)));
    if (!files_) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i)
        files_[i] = {INVALID_HANDLE_VALUE, kUnknown};
    files_[part].file = file;
    parts_ = parts;
    layout_ = &parts->layout;
    return true;
}

void ArchiveReader::close()
{
    if (!files_)
        return;
    for (uint32_t i = 0; i < parts_->layout.count; ++i) {
        if (files_[i].file != INVALID_HANDLE_VALUE)
            CloseHandle(files_[i].file);
    }
    if (files_ != &single_)
        free(files_);
    files_ = nullptr;
    single_.file = INVALID_HANDLE_VALUE;
}

int64_t ArchiveReader::read_part(uint32_t part, uint64_t offset, void* buffer, uint32_t length)
{
    PartFile& partFile = files_[part];
    if (partFile.file == INVALID_HANDLE_VALUE) {
        partFile.file = CreateFileW(parts_->paths[part], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        if (partFile.file == INVALID_HANDLE_VALUE)
            return -1;
        partFile.position = 0;
    }
    if (partFile.position != offset) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);  // below the part's size
        partFile.position = kUnknown;
        if (!SetFilePointerEx(partFile.file, at, nullptr, FILE_BEGIN))
            return -1;
    }
    DWORD got = 0;
    if (!ReadFile(partFile.file, buffer, length, &got, nullptr)) {
        partFile.position = kUnknown;
        return -1;
    }
    partFile.position = offset + got;
    return got;
}
