#!/usr/bin/env python3
"""Makes the method benchmark's trees in DIR (kept between runs):
  big/big.txt     one 64 MiB file of text-like data (words, numbers and line breaks)
  small/dNN/...   2,000 files of 1 to 16 KiB of the same kind, in 20 folders
Every file gets the same time, so that extracted trees can be compared."""
import os
import random
import sys
import time

out = sys.argv[1]
rng = random.Random(20261209)
WORDS = [bytes(rng.randrange(97, 123) for _ in range(rng.randrange(2, 10))) for _ in range(3000)]
WORDS += [str(n).encode() for n in range(500)] + [b"\n"] * 200
MTIME = int(time.mktime((2025, 6, 1, 12, 0, 0, 0, 0, -1)))


def text(size):
    words = rng.choices(WORDS, k=size // 5 + 16)
    return b" ".join(words)[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (MTIME, MTIME))


if not os.path.exists(os.path.join(out, "small", "d19")):
    write(os.path.join(out, "big", "big.txt"), b"".join(text(1 << 20) for _ in range(64)))
    for i in range(2000):
        write(os.path.join(out, "small", f"d{i % 20:02d}", f"f{i:04d}.txt"), text(rng.randrange(1024, 16385)))
