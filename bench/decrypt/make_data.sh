#!/usr/bin/env bash
# make_data.sh DIR: the decryption benchmark's archives, made once (kept between runs) from one
# tree of 12 files, 300 MB in all (half text-like, half random bytes), with password "bench":
#   zc-stored.zip, zc-deflate.zip          traditional encryption, by zip -P (stored / -6)
#   aes128-stored.zip, aes128-deflate.zip  WinZip AES-128, by 7zz (stored / Deflate)
#   aes256-stored.zip, aes256-deflate.zip  WinZip AES-256, by 7zz
# and aes256-small.zip: 2000 files of about 1 KB, WinZip AES-256 by 7zz, where the key derivation
# of each entry, not the data, takes the time.
set -euo pipefail
out=${1:?usage: make_data.sh DIR}
mkdir -p "$out"
cd "$out"
if [ ! -f aes256-small.zip ]; then
  rm -rf small && mkdir small
  python3 - small <<'PY'
import os, sys
for n in range(2000):
    with open(os.path.join(sys.argv[1], "f%04d.txt" % n), "w") as f:
        f.write(("line %d of file %d\n" % (n, n)) * 60)
PY
  touch -d "2025-06-01 12:00:00" small/*
  (cd small && 7zz a -tzip -mem=AES256 -pbench ../aes256-small.zip . >/dev/null)
fi
[ -f aes256-deflate.zip ] && exit 0
rm -rf tree && mkdir tree
python3 - tree <<'PY'
import os, random, sys
words = [b"alpha", b"bravo", b"charlie", b"delta", b"echo", b"foxtrot", b"golf", b"hotel"]
for n in range(12):
    r = random.Random(n)
    with open(os.path.join(sys.argv[1], "part%02d.bin" % n), "wb") as f:
        for _ in range(25 * 16):  # 25 MiB-ish in 64 KiB pieces
            if r.random() < 0.5:
                f.write(b" ".join(r.choice(words) for _ in range(12000))[:65536])
            else:
                f.write(r.randbytes(65536))
PY
touch -d "2025-06-01 12:00:00" tree/*
(cd tree && zip -q -0 -P bench ../zc-stored.zip ./* && zip -q -P bench ../zc-deflate.zip ./*)
for bits in 128 256; do
  (cd tree && 7zz a -tzip -mx0 -mem=AES$bits -pbench ../aes$bits-stored.zip ./* >/dev/null &&
    7zz a -tzip -mx5 -mem=AES$bits -pbench ../aes$bits-deflate.zip ./* >/dev/null)
done
