#!/usr/bin/env bash
# make_archive_sets.sh OUT: archives written in parts, and what `7zz x` extracts from each
# (OUT/ref-NAME):
#   span64, span200   zip -s 64k and -s 200k: NAME.z01 ... NAME.zip, a 150 kB file over three parts
#   spanz64           zip -s 64k -fz: the same with ZIP64 end records
#   pieces            7zz -v50k: pieces.zip.001 ... of a plain archive
#   aes               7zz -v50k of an archive encrypted with AES-256, password "secret"
#   sfx               a self-extractor (a Windows executable in front) cut into 60 kB pieces
# The tree has 60 files, enough for workers.
set -euo pipefail
out=${1:?usage: make_archive_sets.sh OUT}
export TZ=UTC LC_ALL=C.UTF-8
rm -rf "$out"
mkdir -p "$out/tree/sub"
cd "$out/tree"
python3 - <<'PY'
import random
r = random.Random(29)
open("across.bin", "wb").write(r.randbytes(150000))
for i in range(58):
    size = r.choice((0, 10, 3000, 20000))
    open(f"sub/f{i:02}.txt", "wb").write(bytes(r.randrange(97, 103) for _ in range(size)))
open("sub/noise.bin", "wb").write(r.randbytes(40000))
PY
find . -exec touch -d "2024-03-04 05:06:08" {} +
cd "$out"
(cd tree && zip -qr -s 64k "$out/span64.zip" . && zip -qr -s 200k "$out/span200.zip" . &&
  zip -qr -s 64k -fz "$out/spanz64.zip" .)
(cd tree && 7zz a -tzip -v50k "$out/pieces.zip" . >/dev/null &&
  7zz a -tzip -psecret -mem=AES256 -v50k "$out/aes.zip" . >/dev/null &&
  zip -qr "$out/plain.zip" .)
cat /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/hostname.exe plain.zip > sfx.exe
zip -qA sfx.exe
split -b 60k -d -a 3 --numeric-suffixes=1 sfx.exe sfx.exe.
rm plain.zip sfx.exe
for set in span64.zip span200.zip spanz64.zip pieces.zip.001 aes.zip.001 sfx.exe.001; do
  7zz x -y -psecret -o"ref-${set%%.*}" "$set" >/dev/null
done
echo "archive sets ready in $out: $(ls "$out" | grep -vc '^ref-\|^tree$') parts"
