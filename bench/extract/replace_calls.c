/* What replacing a tree of existing files costs, by the calls that do it: rewrites every file
 * of a manifest ("size mtime path" lines) below OUTDIR, which holds them already, with the same
 * sizes and times, in one of the ways an extractor can replace a file:
 *   inplace  truncates the file and writes it again (CREATE_ALWAYS), as varno did before
 *   move     writes a hidden temporary file beside it, closes it, MoveFileExW over the file
 *   replace  the same with ReplaceFileW
 *   handle   writes a hidden temporary file and renames it over the file while it is open
 *            (SetFileInformationByHandle with FileRenameInfo), then sets its times, as varno does
 * Each first tries CREATE_NEW on the file, as an extractor that meets it does, and the three
 * with a temporary file read its attributes (the overwrite policy's protection check). Built
 * for Windows and run under Wine; the caller times it. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HANDLE temporary_beside(const char* path, char* temporary, DWORD access)
{
    static unsigned serial;
    strcpy(temporary, path);
    char* name = strrchr(temporary, '\\');
    sprintf(name ? name + 1 : temporary, ".varno%08X", ++serial);
    return CreateFileA(temporary, access, 0, NULL, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_HIDDEN, NULL);
}

static void set_times(HANDLE f, long long mtime, DWORD attributes)
{
    FILE_BASIC_INFO info = {0};
    info.CreationTime.QuadPart = info.LastAccessTime.QuadPart = info.LastWriteTime.QuadPart =
        mtime * 10000000ll + 116444736000000000ll;
    info.FileAttributes = attributes;
    SetFileInformationByHandle(f, FileBasicInfo, &info, sizeof info);
}

static BOOL rename_open_file(HANDLE f, const char* path)
{
    static union {
        FILE_RENAME_INFO info;
        char bytes[sizeof(FILE_RENAME_INFO) + 4200 * sizeof(WCHAR)];
    } rename;
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, rename.info.FileName, 4200);
    rename.info.ReplaceIfExists = TRUE;
    rename.info.RootDirectory = NULL;
    rename.info.FileNameLength = (DWORD)(units - 1) * sizeof(WCHAR);
    return SetFileInformationByHandle(f, FileRenameInfo, &rename, sizeof rename);
}

static int replace_file(const char* how, const char* path, unsigned long long size, long long mtime, const char* block,
                        size_t blockSize)
{
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (f != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
        return 1;  /* the tree must be there */
    char temporary[4200];
    const int inPlace = strcmp(how, "inplace") == 0, byHandle = strcmp(how, "handle") == 0;
    if (inPlace) {
        f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    } else {
        GetFileAttributesA(path);
        f = temporary_beside(path, temporary, GENERIC_WRITE | (byHandle ? DELETE : 0));
    }
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    while (size > 0) {
        DWORD n = size < blockSize ? (DWORD)size : (DWORD)blockSize, written = 0;
        if (!WriteFile(f, block, n, &written, NULL))
            return 1;
        size -= written;
    }
    BOOL ok = TRUE;
    if (byHandle)
        ok = rename_open_file(f, path);
    set_times(f, mtime, inPlace ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    CloseHandle(f);
    if (strcmp(how, "move") == 0)
        ok = MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    else if (strcmp(how, "replace") == 0)
        ok = ReplaceFileA(path, temporary, NULL, 0, NULL, NULL);
    return ok ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: replace_calls inplace|move|replace|handle MANIFEST OUTDIR\n");
        return 2;
    }
    FILE* manifest = fopen(argv[2], "r");
    if (!manifest)
        return 2;
    const size_t blockSize = 1 << 20;
    char* block = malloc(blockSize);
    memset(block, 0x5A, blockSize);
    char line[4096], path[4200], name[4000];
    unsigned long long size;
    long long mtime;
    while (fgets(line, sizeof line, manifest)) {
        if (sscanf(line, "%llu %lld %3999s", &size, &mtime, name) != 3)
            continue;
        snprintf(path, sizeof path, "%s\\%s", argv[3], name);
        for (char* p = path; *p; ++p)
            if (*p == '/')
                *p = '\\';
        if (replace_file(argv[1], path, size, mtime, block, blockSize)) {
            fprintf(stderr, "replace_calls: cannot replace %s (%lu)\n", path, GetLastError());
            return 1;
        }
    }
    fclose(manifest);
    return 0;
}
