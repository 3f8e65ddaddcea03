#!/usr/bin/env bash
# make_tool_archives.sh OUT: builds archives with zip, 7zz and Python's zipfile from one tree
# (nested folders, empty files and folders, names with blanks, UTF-8 names) and one archive of
# cp932 names without the UTF-8 flag, then records what `unzip -Z -T` and `7zz l -slt` report
# for each and joins those reports into OUT/expected.tsv for the listing and handle tests; also
# a Deflate64 archive made by 7zz, archives of the methods read through libraries (OUT/m-*.zip:
# bzip2, LZMA, XZ, Zstandard and PPMd, also of a tree of 300 files, and bzip2 archives of
# entries of 5 and 6 MB that are decoded a block at a time: OUT/m-big-*.zip), encrypted archives
# made by zip, 7zz and bsdtar, the old methods' archives (OUT/s-*.zip, the samples of
# tests/data/legacy; OUT/l-*.zip, the tests' own encoder's of a small tree), each archive
# extracted by the tools into OUT/ref-NAME (those of Reduce, which no tool reads, are their
# sources), and what `unzip -t` reports for each unencrypted one and for a damaged copy of
# zip.zip (OUT/NAME.unzip-t); and 3000 small files archived by zip, 7zz and Python, which no
# overlap check may refuse; and one stream of each method from its tool (OUT/streams).
set -euo pipefail
out=${1:?usage: make_tool_archives.sh OUT}
here=$(cd "$(dirname "$0")" && pwd)
export TZ=UTC LC_ALL=C.UTF-8
rm -rf "$out"
mkdir -p "$out/tree"
cd "$out/tree"
mkdir -p "nested/deeper/deepest" "empty dir" "with blank"
printf 'hello\n' > a.txt
seq 1 5000 > nested/deeper/numbers.txt
: > empty.txt
: > "nested/deeper/deepest/empty too.txt"
head -c 3000 /dev/zero | tr '\0' 'x' > "with blank/file name.txt"
printf 'utf8' > "nested/été 日本.txt"
printf 'binary\001\002\003' > "nested/deeper/data.bin"
# Repeats that need Deflate64's long lengths and 64 KiB distances.
python3 -c "
import random, sys
r = random.Random(5)
block = bytes(r.randrange(256) for _ in range(60000))
sys.stdout.buffer.write(block * 6 + b'a' * 200000 + block)
" > nested/repeats.bin
chmod 600 a.txt
chmod 755 nested/deeper/data.bin
# Even seconds, so that DOS times and the tools' own time fields agree.
find . -exec touch -d "2024-03-04 05:06:08" {} +
touch -d "2023-11-12 13:14:16" nested/deeper/numbers.txt

# bzip2 entries large enough to be decoded a block at a time: text of 5 MB and long runs of bytes
# (6 MB, several MiB of output from each block) beside a copy of the tree's repeats, by 7zz, zip
# and Python; the two large ones also among the 300 files below, for workers that meet them at
# once.
mkdir -p "$out/big/nested"
cp "$out/tree/nested/repeats.bin" "$out/big/nested/"
python3 - "$out/big" <<'PY'
import random, sys
r = random.Random(30)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 10))) for _ in range(3000)]
open(f"{sys.argv[1]}/text.txt", "wb").write(b" ".join(r.choice(words) for _ in range(900000))[:5000000])
open(f"{sys.argv[1]}/runs.bin", "wb").write(b"".join(bytes([r.randrange(256)]) * r.randrange(1, 3000) for _ in range(4000)))
PY
find "$out/big" -exec touch -d "2024-03-04 05:06:08" {} +
zip -qr "$out/zip.zip" .
7zz a -tzip "$out/7z.zip" . >/dev/null
7zz a -tzip -mm=Deflate64 "$out/d64.zip" . >/dev/null
python3 - "$out" <<'PY'
import os, sys, zipfile
for folder, name, method in ((".", "py", zipfile.ZIP_DEFLATED), (".", "m-py-bzip2", zipfile.ZIP_BZIP2),
                             (".", "m-py-lzma", zipfile.ZIP_LZMA), ("../big", "m-big-py-bzip2", zipfile.ZIP_BZIP2)):
    with zipfile.ZipFile(f"{sys.argv[1]}/{name}.zip", "w", method) as z:
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            for entry in sorted(dirs) + sorted(files):
                path = os.path.join(root, entry)
                z.write(path, os.path.relpath(path, folder))
PY
# The methods read through libraries: 7zz's BZip2, LZMA (with and without its end marker) and
# XZ, zip's bzip2, and XZ and Zstandard entries that hold the xz and zstd tools' own output.
7zz a -tzip -mm=BZip2 "$out/m-7z-bzip2.zip" . >/dev/null
7zz a -tzip -mm=LZMA "$out/m-7z-lzma.zip" . >/dev/null
7zz a -tzip -mm=LZMA -meos=off "$out/m-7z-lzma-sized.zip" . >/dev/null
7zz a -tzip -mm=XZ "$out/m-7z-xz.zip" . >/dev/null
# PPMd at 7zz's defaults and at order 2 in 1 MiB, where the model restarts on the larger files.
7zz a -tzip -mm=PPMd "$out/m-7z-ppmd.zip" . >/dev/null
7zz a -tzip -mm=PPMd -mo=2 -mmem=1m "$out/m-7z-ppmd-o2.zip" . >/dev/null
zip -qr -Z bzip2 "$out/m-zip-bzip2.zip" .
python3 "$here/zip_from_streams.py" "$out/m-xz.zip" 95 xz -c
python3 "$here/zip_from_streams.py" "$out/m-zstd.zip" 93 zstd -q -c
# Encrypted with password "secret": traditional by zip, 7zz and bsdtar; WinZip AES of every
# strength by 7zz (stored, Deflate, Deflate64) and bsdtar (which streams: data descriptors).
zip -qr -P secret "$out/enc-zip.zip" .
7zz a -tzip -psecret -mem=ZipCrypto "$out/enc-7zc.zip" . >/dev/null
7zz a -tzip -psecret -mem=ZipCrypto -mm=Deflate64 "$out/enc-7zc64.zip" . >/dev/null
7zz a -tzip -psecret -mem=AES128 -mx0 "$out/enc-aes128.zip" . >/dev/null
7zz a -tzip -psecret -mem=AES192 -mm=Deflate64 "$out/enc-aes192.zip" . >/dev/null
7zz a -tzip -psecret -mem=AES256 "$out/enc-aes256.zip" . >/dev/null
7zz a -tzip -psecret -mem=AES256 "$out/enc-aes-one.zip" nested/deeper/numbers.txt >/dev/null
# The library methods inside both ciphers.
7zz a -tzip -psecret -mem=AES256 -mm=BZip2 "$out/enc-aes-bzip2.zip" . >/dev/null
7zz a -tzip -psecret -mem=AES256 -mm=LZMA "$out/enc-aes-lzma.zip" . >/dev/null
7zz a -tzip -psecret -mem=ZipCrypto -mm=XZ "$out/enc-7zc-xz.zip" . >/dev/null
7zz a -tzip -psecret -mem=AES256 -mm=PPMd "$out/enc-aes-ppmd.zip" . >/dev/null
7zz a -tzip -psecret -mem=ZipCrypto -mm=PPMd -mo=16 "$out/enc-7zc-ppmd.zip" . >/dev/null
for e in traditional aes128 aes256; do
  bsdtar --format zip --options zip:encryption=$e --passphrase secret -cf "$out/enc-bsd-$e.zip" .
done
# One text of 4 MiB as each method's tool stores it (OUT/streams/METHOD, the text in
# OUT/streams/data), for archives whose entries declare other sizes than their streams hold:
# bzip2, xz and zstd by their own tools, LZMA (with its end marker), Deflate64 and PPMd by 7zz,
# whose entry's data are taken out of its archive.
mkdir -p "$out/streams"
cd "$out/streams"
python3 -c "
import random, sys
r = random.Random(26)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 9))) for _ in range(500)]
sys.stdout.buffer.write(b' '.join(r.choice(words) for _ in range(900000))[:4 << 20])
" > data
bzip2 -c data > 12
xz -c data > 95
zstd -q -c data > 93
for m in LZMA:14 Deflate64:9 PPMd:98; do
  7zz a -tzip -mm=${m%:*} one.zip data >/dev/null
  python3 - one.zip ${m#*:} <<'PY'
import sys, zipfile
source, target = sys.argv[1:]
data = open(source, "rb").read()
info = zipfile.ZipFile(source).infolist()[0]
at = info.header_offset
start = at + 30 + int.from_bytes(data[at + 26:at + 28], "little") + int.from_bytes(data[at + 28:at + 30], "little")
open(target, "wb").write(data[start:start + info.compress_size])
PY
  rm one.zip
done
# Enough files for eight workers, of every method: sizes from empty to 400 kB.
mkdir -p "$out/many"
cd "$out/many"
python3 - <<'PY'
import random
r = random.Random(8)
for i in range(300):
    size = r.choice((0, 1, 100, 5000, 40000, 400000))
    text = bytes(r.randrange(97, 101) for _ in range(size // 4))
    open(f"f{i:03}.txt", "wb").write((text + bytes(r.randrange(256) for _ in range(size // 8))) * 2)
PY
find . -exec touch -d "2024-03-04 05:06:08" {} +
for m in LZMA XZ PPMd; do 7zz a -tzip -mm=$m "$out/m-many-$m.zip" . >/dev/null; done
python3 "$here/zip_from_streams.py" "$out/m-many-zstd.zip" 93 zstd -q -c
7zz a -tzip -mm=BZip2 "$out/m-many-BZip2.zip" . "$out/big/text.txt" "$out/big/runs.bin" >/dev/null
cd "$out/big"
7zz a -tzip -mm=BZip2 "$out/m-big-7z-bzip2.zip" . >/dev/null
zip -qr -Z bzip2 "$out/m-big-zip-bzip2.zip" .
cd "$out"
# Double-byte names as Japanese Windows tools store them: cp932 bytes, no UTF-8 flag.
python3 - "$out/cp932.zip" <<'PY'
import sys, zipfile

class Cp932Info(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits & ~0x800

names = ["日本語/", "日本語/表示.txt", "ソフト/アイウ.txt", "カナ ｶﾅ.txt"]
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i, name in enumerate(names):
        info = Cp932Info(name, (2022, 5, 6, 7, 8, 10))
        info.create_system = 0
        info.external_attr = 0x10 if name.endswith("/") else 0x20
        z.writestr(info, b"" if name.endswith("/") else ("data %d" % i).encode() * (i + 1),
                   zipfile.ZIP_DEFLATED if i == 2 else zipfile.ZIP_STORED)
PY

# The old methods: the samples, and a small tree (text with noise, enough for Shrink to clear
# its table, a run, an empty file) in each of them by the tests' own encoder.
for a in shrink reduce implode ppmd; do cp "$here/legacy/$a.zip" "$out/s-$a.zip"; done
mkdir -p "$out/legacy/nested"
cd "$out/legacy"
python3 - <<'PY'
import random
r = random.Random(28)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 9))) for _ in range(400)]
text = b" ".join(r.choice(words) for _ in range(9000))
open("text.txt", "wb").write(text + bytes(r.randrange(256) for _ in range(12000)) + text[:20000])
open("nested/run.txt", "wb").write(b"a" * 3000 + b"\x90" * 500)
open("nested/empty.txt", "wb").close()
PY
find . -exec touch -d "2024-03-04 05:06:08" {} +
for m in 1 2 3 4 5 6:0 6:2 6:4 6:6; do
  python3 "$here/zip_from_streams.py" "$out/l-${m/:/-}.zip" $m python3 "$here/legacy_encoder.py" ${m/:/ }
done
for m in 2 3 4 5; do cp -a . "$out/ref-l-$m"; done
cd "$out"

# What the tools themselves extract, for the extraction tests to compare with: unzip, and for
# the cp932 names, which this build of unzip has no option to decode, Python's zipfile with
# that encoding (setting the entries' times as unzip does).
for a in zip 7z py d64; do unzip -q -o "$a.zip" -d "ref-$a"; done
# unzip reads the traditional cipher (not Deflate64); 7zz everything else.
for a in enc-zip enc-7zc enc-bsd-traditional; do unzip -q -o -P secret "$a.zip" -d "ref-$a"; done
for a in enc-7zc64 enc-aes128 enc-aes192 enc-aes256 enc-bsd-aes128 enc-bsd-aes256 enc-aes-bzip2 enc-aes-lzma enc-7zc-xz; do
  7zz x -psecret -y -bd -o"ref-$a" "$a.zip" >/dev/null
done
# 7zz takes the xz tool's stream of an empty file (no block, only the index) for data behind the
# end and says so, failing m-xz.zip; what it extracts is whole all the same.
for a in enc-aes-ppmd enc-7zc-ppmd; do 7zz x -psecret -y -bd -o"ref-$a" "$a.zip" >/dev/null; done
for a in m-*.zip; do 7zz x -y -bd -o"ref-${a%.zip}" "$a" >/dev/null 2>&1 || [ "$a" = m-xz.zip ]; done
for a in s-shrink s-implode s-ppmd l-1 l-6-0 l-6-2 l-6-4 l-6-6; do 7zz x -y -bd -o"ref-$a" "$a.zip" >/dev/null; done
# The Reduce sample holds the Implode sample's text under the same name, at a time of its own.
python3 - <<'PY'
import calendar, os, shutil, zipfile
os.makedirs("ref-s-reduce")
shutil.copy("ref-s-implode/first.txt", "ref-s-reduce/first.txt")
t = calendar.timegm(zipfile.ZipFile("s-reduce.zip").getinfo("first.txt").date_time + (0, 0, 0))
os.utime("ref-s-reduce/first.txt", (t, t))
PY
python3 - cp932.zip ref-cp932 <<'PY'
import calendar, os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], metadata_encoding="cp932") as z:
    for info in z.infolist():
        path = z.extract(info, sys.argv[2])
        if not info.is_dir():
            t = calendar.timegm(info.date_time + (0, 0, 0))
            os.utime(path, (t, t))
PY

for a in zip 7z py cp932 d64 m-zip-bzip2 m-7z-lzma m-7z-ppmd s-shrink s-reduce s-implode; do
  unzip -Z -T "$a.zip" > "$a.zipinfo"
  if [ $a = cp932 ]; then 7zz l -slt -mcp=932 "$a.zip" > "$a.slt"; else 7zz l -slt "$a.zip" > "$a.slt"; fi
done
python3 "$here/tool_reports.py" "$out" zip 7z py cp932 d64 m-zip-bzip2 m-7z-lzma m-7z-ppmd s-shrink s-reduce \
  s-implode > "$out/expected.tsv"

# A copy of zip.zip with one byte flipped in the data of a stored and of two Deflate entries,
# and what `unzip -t` reports for every archive, for the test command to agree with.
python3 - zip.zip zip-damaged.zip <<'PY'
import sys, zipfile
source, target = sys.argv[1:]
data = bytearray(open(source, "rb").read())
with zipfile.ZipFile(source) as z:
    for name in ("a.txt", "nested/repeats.bin", "nested/deeper/numbers.txt"):
        info = z.getinfo(name)
        at = info.header_offset
        start = at + 30 + int.from_bytes(data[at + 26:at + 28], "little") + int.from_bytes(data[at + 28:at + 30], "little")
        data[start + info.compress_size // 2] ^= 0x20
open(target, "wb").write(data)
PY
mkdir -p "$out/many/files"
(cd "$out/many" && for i in $(seq 1 3000); do printf 'file %d\n' $i > files/f$i.txt; done &&
  zip -qr "$out/many-zip.zip" files && 7zz a -tzip "$out/many-7z.zip" files >/dev/null &&
  python3 -c "import shutil; shutil.make_archive('$out/many-py', 'zip', '.', 'files')")
for a in zip 7z py cp932 d64 zip-damaged m-zip-bzip2 many-zip many-7z many-py s-shrink s-implode l-1 l-6-0 l-6-6; do unzip -t "$a.zip" > "$a.unzip-t" || true; done
echo "tool archives ready in $out: $(($(wc -l < "$out/expected.tsv") - 1)) entries"
