#!/usr/bin/env python3
"""check-includes.py: reads the floors of src/ from the table in src/README.md and checks every
#include "folder/..." line under src/ against them. Fails on an include of a higher floor than
the including file's, and on a folder of src/ that the table does not place."""
import pathlib
import re
import sys

src = pathlib.Path(__file__).resolve().parent.parent / "src"
row = re.compile(r"^\| (\d+) \| `(\w+)/` \|", re.M)
floors = {folder: int(floor) for floor, folder in row.findall((src / "README.md").read_text())}
include = re.compile(r'^\s*#\s*include\s+"(\w+)/[^"]+"', re.M)

faults = []
for folder in sorted(p.name for p in src.iterdir() if p.is_dir()):
    if folder not in floors:
        faults.append(f"src/{folder}/ has no floor in src/README.md")
for path in sorted(src.rglob("*")):
    if path.suffix not in (".cpp", ".h", ".rc") or path.parent.name not in floors:
        continue
    own = floors[path.parent.name]
    text = path.read_text(encoding="utf-8", errors="replace")
    for number, line in enumerate(text.splitlines(), 1):
        match = include.match(line)
        if not match or match.group(1) not in floors:
            continue
        target = match.group(1)
        if floors[target] > own:
            faults.append(f"{path.relative_to(src.parent)}:{number}: floor {own} includes {target}/ (floor {floors[target]})")

for fault in faults:
    print(f"check-includes: {fault}")
if faults or not floors:
    sys.exit(1)
print(f"check-includes: {len(floors)} folders, no include goes up a floor")
