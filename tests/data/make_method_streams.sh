#!/usr/bin/env bash
# make_method_streams.sh OUT: a sample file (OUT/data, half a megabyte of text, noise and a long
# repeat) and its streams as the tools write them, named by ZIP method, for the native decoder
# tests: 12 by bzip2; 14 raw LZMA1 with its end marker (Python's lzma) behind ZIP's LZMA
# header; 93 by zstd, 93-frames as two frames; 95 by xz, 95-filters with the delta and x86
# filters in front of LZMA2; 8 raw Deflate (Python's zlib). Beside them, two bzip2 streams of
# 100 kB blocks (bzip2 -1) for the decoding in blocks: 12-blocks of the sample, 12-runs of 6 MB
# of long runs of bytes (OUT/runs), which take each block to several MiB of output.
set -euo pipefail
out=${1:?usage: make_method_streams.sh OUT}
rm -rf "$out"
mkdir -p "$out"
cd "$out"
python3 - <<'PY'
import lzma, random, zlib
r = random.Random(19)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 9))) for _ in range(500)]
text = b" ".join(r.choice(words) for _ in range(60000))
data = text + bytes(r.randrange(256) for _ in range(70000)) + text[:100000]
open("data", "wb").write(data)
lzma1 = {"id": lzma.FILTER_LZMA1, "dict_size": 1 << 20}
header = b"\x05\x04\x05\x00" + lzma._encode_filter_properties(lzma1)
open("14", "wb").write(header + lzma.compress(data, format=lzma.FORMAT_RAW, filters=[lzma1]))
deflate = zlib.compressobj(6, zlib.DEFLATED, -15)
open("8", "wb").write(deflate.compress(data) + deflate.flush())
open("runs", "wb").write(b"".join(bytes([r.randrange(256)]) * r.randrange(1, 3000) for _ in range(4000)))
PY
bzip2 -c data > 12
bzip2 -1 -c data > 12-blocks
bzip2 -1 -c runs > 12-runs
zstd -q -c data > 93
{ head -c 200000 data | zstd -q -c; tail -c +200001 data | zstd -q -c; } > 93-frames
xz -c data > 95
xz -c --delta=dist=4 --x86 --lzma2 data > 95-filters
