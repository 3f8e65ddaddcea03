#!/usr/bin/env python3
"""Joins what `unzip -Z -T` and `7zz l -slt` report for each archive into one table.

tool_reports.py DIR NAME...: reads DIR/NAME.zipinfo and DIR/NAME.slt for each NAME and prints
a tab-separated table with one line per entry, in central-directory order:
archive, name (UTF-8, '/' separators, directories with a trailing '/'), zipinfo's attribute
text, version and host, size, text/binary and extra letters, method, date and time
(yyyymmdd.hhmmss), and from 7zz: packed size, CRC (8 hex digits, empty for folders), modified
time, folder flag, whether the entry has NTFS times.
"""
import re
import sys

ZIPINFO_LINE = re.compile(
    r"^(\S{7,10})\s+(\d+\.\d \S{3})\s+(\d+)\s+(\S\S)\s+(\S{4})\s+(\d{8}\.\d{6})\s(.*)$")


def zipinfo_entries(path):
    entries = []
    with open(path, "rb") as f:
        for raw in f.read().split(b"\n"):
            m = ZIPINFO_LINE.match(raw.decode("utf-8", "surrogateescape"))
            if m:
                entries.append(m.groups())
    return entries


def slt_entries(path, encoding):
    # 7zz prints names that it cannot convert as their stored bytes.
    text = open(path, "rb").read().decode(encoding)
    body = text.split("----------\n", 1)[1]
    entries = []
    for block in body.strip().split("\n\n"):
        fields = {}
        for line in block.split("\n"):
            key, _, value = line.partition(" = ")
            fields[key] = value
        if "Path" in fields:
            entries.append(fields)
    return entries


def main():
    folder = sys.argv[1]
    print("archive\tname\tattributes\tversion\tsize\ttbxl\tmethod\tdatetime\tpacked\tcrc\tmodified\tfolder\tntfs")
    for name in sys.argv[2:]:
        zipinfo = zipinfo_entries(f"{folder}/{name}.zipinfo")
        slt = slt_entries(f"{folder}/{name}.slt", "cp932" if name == "cp932" else "utf-8")
        if len(zipinfo) != len(slt) or not zipinfo:
            sys.exit(f"{name}: zipinfo lists {len(zipinfo)} entries, 7zz {len(slt)}")
        for (attributes, version, size, tbxl, method, stamp, zname), s in zip(zipinfo, slt):
            folder_flag = s["Folder"] == "+"
            path = s["Path"].replace("\\", "/") + ("/" if folder_flag else "")
            # Both tools must name the same entry; for cp932 names zipinfo guesses a character
            # set of its own, so there 7zz's bytes count.
            if name != "cp932" and path != zname:
                sys.exit(f"{name}: zipinfo names {zname!r}, 7zz {path!r}")
            if s["Size"] != size:
                sys.exit(f"{name}: sizes differ for {path}")
            print("\t".join([name, path, attributes, version, size, tbxl, method, stamp, s["Packed Size"],
                             s["CRC"], s["Modified"], "1" if folder_flag else "0",
                             "1" if "NTFS" in s.get("Characteristics", "") else "0"]))


main()
