#!/usr/bin/env python3
"""Makes the extraction benchmark's archives in DIR (kept between runs):
  mixed.zip    10,000 files of mixed sizes, about 450 MB, in a few hundred folders, Deflate
  big.zip      one 1 GB file, Deflate
  stored.zip   the same file, stored
  deflate.zip  100 files of 1 to 8 MiB of word-like text, about 470 MB, Deflate
  widest.zip   16 files of 16 MiB less 64 KiB of random bytes, Deflate (stored blocks): each
               as large as the whole-entry decoding takes, input and output, for its memory
and for each a manifest (size, DOS-time-derived mtime, path per line) for the I/O floor writer."""
import os
import random
import sys
import time
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = random.Random(20261208)
WORDS = [b"alpha", b"bravo", b"charlie", b"delta", b"echo", b"foxtrot", b"golf", b"hotel",
         b"india", b"juliet", b"kilo", b"lima", b"mike", b"november", b"oscar", b"papa"]
DATE = (2025, 6, 1, 12, 0, 0)
MTIME = int(time.mktime(DATE + (0, 0, -1)))


def content(size, seed):
    """Half text-like (compresses about 4:1), half random bytes in 64 KiB pieces."""
    r = random.Random(seed)
    pieces, have = [], 0
    while have < size:
        if r.random() < 0.5:
            piece = b" ".join(r.choice(WORDS) for _ in range(8000))[:65536]
        else:
            piece = r.randbytes(65536)
        pieces.append(piece)
        have += len(piece)
    return b"".join(pieces)[:size]


def words(size, seed):
    """Word-like text from a vocabulary of 5,000 made-up words, the frequent ones short (about
    0.4 of its size compressed), as slices of one 16 MiB text at random places."""
    global TEXT
    if TEXT is None:
        r = random.Random(7)
        vocabulary = [bytes(r.randrange(97, 123) for _ in range(2 + int(r.expovariate(0.25)))) for _ in range(5000)]
        weights = [1 / (k + 1) for k in range(5000)]
        picks = r.choices(vocabulary, weights, k=(16 << 20) // 5)
        TEXT = b" ".join(picks)[:16 << 20]
    r = random.Random(seed)
    pieces, have = [], 0
    while have < size:
        start = r.randrange(len(TEXT) - 65536)
        pieces.append(TEXT[start:start + 65536])
        have += 65536
    return b"".join(pieces)[:size]


TEXT = None


def write(name, files, method, make=content):
    path = os.path.join(out, name)
    if os.path.exists(path):
        return
    manifest = []
    with zipfile.ZipFile(path + ".tmp", "w", method, compresslevel=6) as z:
        for member, size, seed in files:
            info = zipfile.ZipInfo(member, DATE)
            info.compress_type = method
            info.external_attr = 0o644 << 16
            z.writestr(info, make(size, seed))
            manifest.append(f"{size} {MTIME} {member}")
    with open(path + ".manifest", "w") as m:
        m.write("\n".join(manifest) + "\n")
    os.replace(path + ".tmp", path)


# Sizes drawn log-normally, scaled to about 450 MB over 10,000 files.
sizes = [int(rng.lognormvariate(9.5, 1.6)) + 1 for _ in range(10000)]
scale = 450_000_000 / sum(sizes)
sizes = [max(1, int(s * scale)) for s in sizes]
folders = [f"d{a:02d}/s{b:02d}" for a in range(20) for b in range(15)]
mixed = [(f"{folders[i % len(folders)]}/file{i:05d}.dat", s, i) for i, s in enumerate(sizes)]
write("mixed.zip", mixed, zipfile.ZIP_DEFLATED)
write("big.zip", [("big.dat", 1 << 30, 1)], zipfile.ZIP_DEFLATED)
write("stored.zip", [("big.dat", 1 << 30, 1)], zipfile.ZIP_STORED)
write("deflate.zip", [(f"text{i:03d}.txt", rng.randrange(1 << 20, (8 << 20) + 1), 1000 + i) for i in range(100)],
      zipfile.ZIP_DEFLATED, words)
write("widest.zip", [(f"noise{i:02d}.bin", (16 << 20) - 65536, 2000 + i) for i in range(16)], zipfile.ZIP_DEFLATED,
      lambda size, seed: random.Random(seed).randbytes(size))
