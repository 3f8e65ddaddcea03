#!/usr/bin/env python3
"""Writes the benchmark's data into a folder: text.bin (pseudo-English prose), binary.bin
(fixed-size records, as in a database or a table-heavy executable) and mix.bin (1 MiB pieces of
text, records, source-like lines and random bytes). The data depends only on the seeds."""
import random
import struct
import sys
from pathlib import Path

MB = 1 << 20


def make_words(rng, count):
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 2, 1.5, 1, 0.8, 0.2, 0.2, 0.1, 0.1]
    words = set()
    while len(words) < count:
        n = max(1, min(14, int(rng.gauss(5, 2.5))))
        words.add("".join(rng.choices(letters, weights, k=n)))
    return sorted(words, key=lambda w: (len(w), w))


def text(rng, size):
    words = make_words(rng, 6000)
    zipf = [1.0 / (i + 1) for i in range(len(words))]
    out, total = [], 0
    while total < size:
        sentence_words = rng.choices(words, zipf, k=4000)
        parts = []
        i = 0
        while i < len(sentence_words):
            n = rng.randint(4, 22)
            s = " ".join(sentence_words[i:i + n])
            parts.append(s[:1].upper() + s[1:] + rng.choice([". ", ". ", ". ", ", ", "? ", "! ", ".\n", ".\n\n"]))
            i += n
        chunk = "".join(parts).encode()
        out.append(chunk)
        total += len(chunk)
    return b"".join(out)[:size]


def records(rng, size):
    tags = [bytes(rng.choices(b"ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789", k=8)) for _ in range(60)]
    prices = [round(rng.uniform(0.5, 500.0), 2) for _ in range(400)]
    out = bytearray()
    ident, stamp = 1000, 1700000000
    pack = struct.Struct("<IIhHf8sI").pack
    while len(out) < size:
        ident += 1
        stamp += rng.choice((1, 1, 2, 3, 5, 60, 3600))
        out += pack(ident, stamp, rng.randint(-200, 200), rng.choice((0, 0, 1, 3, 0x100)), rng.choice(prices),
                    rng.choice(tags), rng.getrandbits(12) if rng.random() < 0.3 else 0)
    return bytes(out[:size])


def source(rng, size):
    names = ["count", "index", "buffer", "length", "result", "state", "table", "window", "next", "value"]
    out, total = [], 0
    while total < size:
        depth = rng.randint(0, 4)
        a, b = rng.choice(names), rng.choice(names)
        line = "    " * depth + rng.choice([
            f"if ({a} < {b}) {{\n", f"{a} = {b} + {rng.randint(0, 99)};\n", f"return {a};\n", "}\n",
            f"for (int i = 0; i < {a}; ++i)\n", f"// {a} holds the {b} of the block\n",
            f"{a}[{b}] = {rng.randint(0, 65535):#06x};\n"])
        out.append(line.encode())
        total += len(line)
    return b"".join(out)[:size]


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    rng = random.Random(64)
    t = text(rng, 80 * MB)
    (folder / "text.bin").write_bytes(t)
    r = records(rng, 60 * MB)
    (folder / "binary.bin").write_bytes(r)
    s = source(rng, 16 * MB)
    pieces = []
    for i in range(60):
        kind = rng.choice(["text", "text", "records", "records", "source", "random"])
        at = rng.randrange(0, 15 * MB)
        if kind == "text":
            pieces.append(t[at:at + MB])
        elif kind == "records":
            pieces.append(r[at:at + MB])
        elif kind == "source":
            pieces.append(s[at:at + MB])
        else:
            pieces.append(rng.randbytes(MB))
    (folder / "mix.bin").write_bytes(b"".join(pieces))


if __name__ == "__main__":
    main()
