#!/usr/bin/env bash
# make_method_streams.sh OUT: a sample file (OUT/data, half a megabyte of text, noise and a long
# repeat) and its streams as the tools write them, named by ZIP method, for the native decoder
# tests: 12 by bzip2; 14 raw LZMA1 with its end marker (Python's lzma) behind ZIP's LZMA
# header; 93 by zstd, 93-frames as two frames; 95 by xz, 95-filters with the delta and x86
# filters in front of LZMA2; 8 raw Deflate (Python's zlib); 98 PPMd by 7zz, 98-o2 of order 2 in
# 1 MiB (the model restarts). The old methods, whose streams end at the declared size: of
# legacy-data (150 kB of the sample: text, noise, text), 1 Shrink, 2 to 5 Reduce of factor 1 to
# 4, 6-FLAGS Implode, by tests/data/legacy_encoder.py; the samples of tests/data/legacy as raw
# streams (sample-NAME) with what they decode to (sample-NAME.out). Beside
# them, two bzip2 streams of 100 kB blocks (bzip2 -1) for the decoding in blocks: 12-blocks of
# the sample, 12-runs of 6 MB of long runs of bytes (OUT/runs), which take each block to several
# MiB of output.
set -euo pipefail
out=${1:?usage: make_method_streams.sh OUT}
here=$(cd "$(dirname "$0")" && pwd)
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
head -c 480000 data | tail -c 150000 > legacy-data
for m in 1 2 3 4 5; do python3 "$here/legacy_encoder.py" $m < legacy-data > $m; done
for f in 0 2 4 6; do python3 "$here/legacy_encoder.py" 6 $f < legacy-data > 6-$f; done
7zz a -tzip -mm=PPMd m98.zip data >/dev/null
7zz a -tzip -mm=PPMd -mo=2 -mmem=1m m98-o2.zip data >/dev/null
cp "$here"/legacy/*.zip "$here"/legacy/*.bin .
7zz x -y -bd -ofirst shrink.zip >/dev/null
7zz x -y -bd -oipsum ppmd.zip >/dev/null
python3 - "$here/legacy" <<'PY'
import struct, sys
def raw(archive):
    data = open(archive, "rb").read()
    packed, name, extra = struct.unpack("<I4xHH", data[18:30])
    return data[30 + name + extra:30 + name + extra + packed]
def crlf(name):
    return open(f"{sys.argv[1]}/{name}", "rb").read().replace(b"\n", b"\r\n")
open("98", "wb").write(raw("m98.zip"))
open("98-o2", "wb").write(raw("m98-o2.zip"))
first, ipsum = open("first/FIRST.TXT", "rb").read(), open("ipsum/ipsum.txt", "rb").read()
samples = {"shrink": (raw("shrink.zip"), first), "reduce": (raw("reduce.zip"), first),
           "implode": (raw("implode.zip"), first), "ppmd": (raw("ppmd.zip"), ipsum),
           "hamlet-implode": (open("implode_hamlet_256.bin", "rb").read(), crlf("implode_hamlet_256.out")),
           "hamlet-reduce": (open("reduce_hamlet_2048.bin", "rb").read(), crlf("implode_hamlet_2048.out")),
           "hamlet-reduce-zero": (open("reduce_zero_reduced.bin", "rb").read(), crlf("implode_hamlet_2048.out"))}
for name, (stream, decoded) in samples.items():
    open(f"sample-{name}", "wb").write(stream)
    open(f"sample-{name}.out", "wb").write(decoded)
PY
