/* The I/O floor of an extraction: creates the tree of a manifest ("size mtime path" lines)
 * with files of those sizes and times, and nothing else: no reading, no decoding. Built
 * natively (POSIX calls) for the native extractors and for Windows (Win32 calls, run under
 * Wine) for varno, so that each extractor is compared with the floor of its own runtime. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>

static void make_parents(char* path)
{
    for (char* p = path; *p; ++p) {
        if (*p == '/') {
            *p = 0;
            CreateDirectoryA(path, NULL);
            *p = '\\';
        }
    }
}

static int write_file(char* path, unsigned long long size, long long mtime, const char* block, size_t blockSize)
{
    make_parents(path);
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    while (size > 0) {
        DWORD n = size < blockSize ? (DWORD)size : (DWORD)blockSize, written = 0;
        if (!WriteFile(f, block, n, &written, NULL))
            return 1;
        size -= written;
    }
    unsigned long long t = (unsigned long long)mtime * 10000000ull + 116444736000000000ull;
    FILETIME ft = {(DWORD)t, (DWORD)(t >> 32)};
    SetFileTime(f, &ft, &ft, &ft);
    CloseHandle(f);
    return 0;
}
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

static void make_parents(char* path)
{
    for (char* p = path; *p; ++p) {
        if (*p == '/') {
            *p = 0;
            mkdir(path, 0755);
            *p = '/';
        }
    }
}

static int write_file(char* path, unsigned long long size, long long mtime, const char* block, size_t blockSize)
{
    make_parents(path);
    int f = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (f < 0)
        return 1;
    while (size > 0) {
        size_t n = size < blockSize ? (size_t)size : blockSize;
        ssize_t written = write(f, block, n);
        if (written <= 0)
            return 1;
        size -= (unsigned long long)written;
    }
    struct timeval times[2] = {{(time_t)mtime, 0}, {(time_t)mtime, 0}};
    futimes(f, times);
    close(f);
    return 0;
}
#endif

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: floor_writer MANIFEST OUTDIR\n");
        return 2;
    }
    FILE* manifest = fopen(argv[1], "r");
    if (!manifest)
        return 2;
    const size_t blockSize = 1 << 20;
    char* block = malloc(blockSize);
    memset(block, 0x5A, blockSize);
    char line[4096], path[4200];
    unsigned long long size;
    long long mtime;
    char name[4000];
    while (fgets(line, sizeof line, manifest)) {
        if (sscanf(line, "%llu %lld %3999s", &size, &mtime, name) != 3)
            continue;
        snprintf(path, sizeof path, "%s/%s", argv[2], name);
        if (write_file(path, size, mtime, block, blockSize)) {
            fprintf(stderr, "floor_writer: cannot write %s\n", path);
            return 1;
        }
    }
    fclose(manifest);
    return 0;
}
