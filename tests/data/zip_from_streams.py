#!/usr/bin/env python3
"""Builds a ZIP of the current folder whose entry data are a command-line tool's own output.

zip_from_streams.py OUT METHOD[:FLAGS] COMMAND...: every file, read on COMMAND's standard input,
becomes an entry of compression method METHOD holding what COMMAND writes (such as `xz -c` for
method 95 or `zstd -c` for method 93), with FLAGS among its general-purpose flags; folders
become entries of their own. Names, DOS times (the files' times in the local time zone), Unix
modes and CRC-32s are written as zip does.
"""
import os
import subprocess
import sys
import time
import zlib
from struct import pack


def dos_time(seconds):
    t = time.localtime(seconds)
    return (t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec // 2), ((t.tm_year - 1980) << 9 | t.tm_mon << 5 | t.tm_mday)


def main():
    out, command = sys.argv[1], sys.argv[3:]
    method, _, flags = sys.argv[2].partition(":")
    method, flags = int(method), int(flags or 0)
    needed = 10 if method <= 6 else 63  # the old methods are read since PKZIP 1.0
    paths = []
    for root, dirs, files in os.walk("."):
        dirs.sort()
        paths += [os.path.join(root, d)[2:] + "/" for d in dirs] + [os.path.join(root, f)[2:] for f in sorted(files)]
    body, central = b"", b""
    for path in paths:
        info = os.stat(path)
        if path.endswith("/"):
            data, stream, entry_method, entry_flags = b"", b"", 0, 0
        else:
            data = open(path, "rb").read()
            stream = subprocess.run(command, input=data, stdout=subprocess.PIPE, check=True).stdout
            entry_method, entry_flags = method, flags
        name = path.encode()
        clock, date = dos_time(info.st_mtime)
        fields = pack("<HHHHHIII", needed, 0x0800 | entry_flags, entry_method, clock, date, zlib.crc32(data), len(stream), len(data))
        central += (b"PK\x01\x02" + pack("<H", 0x033F) + fields + pack("<HHHHHII", len(name), 0, 0, 0, 0,
                                                                      (info.st_mode & 0xFFFF) << 16, len(body)) + name)
        body += b"PK\x03\x04" + fields + pack("<HH", len(name), 0) + name + stream
    end = pack("<IHHHHIIH", 0x06054B50, 0, 0, len(paths), len(paths), len(central), len(body), 0)
    open(out, "wb").write(body + central + end)


main()
