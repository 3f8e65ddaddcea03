#!/usr/bin/env bash
# make_wild_archives.sh OUT: archives as other tools and projects make them, by class, and what
# `7zz x` and `unzip` extract from each (OUT/ref7-NAME, OUT/refu-NAME; a folder exists only
# when that tool succeeded):
#   utf8-*     names outside every ANSI code page: zip (UTF-8 without the flag), 7zz and bsdtar
#              (flag bit 11), Python (flag bit 11, and ASCII names with a 0x7075 record)
#   comment-*  comments of 1513, 4000 (one holding an end-record signature) and 65535 bytes on
#              a jar and a wheel from Debian packages, zip's and Python's own, and a
#              self-extractor (a Windows executable in front) with a long comment
#   z64-*      ZIP64 archives of zip -fz, 7zz (65,600 entries), bsdtar and Python (forced),
#              as made and with stubs of 1, 713 and 70,000 bytes put in front (stubN-z64-*)
#   attrdir-*  directories marked only by their attributes: DOS 0x10 and a Unix mode
#   cut-*      the 64 files of OUT/cuttree, for the tests to cut short: by zip, 7zz, Python
#              writing to a pipe (data descriptors; stored, Deflate, bzip2 and LZMA in turn), a
#              self-extractor (zip's archive behind a Windows executable, zip -A), 7zz writing to
#              a pipe with Deflate64, XZ, ZipCrypto and AES-256 (password "varno"), and Zstandard
#              entries with descriptors (one of two frames) written here
set -euo pipefail
out=${1:?usage: make_wild_archives.sh OUT}
export TZ=UTC LC_ALL=C.UTF-8
rm -rf "$out"
mkdir -p "$out/tree"
cd "$out/tree"
mkdir -p "ελληνικά" "кириллица" "日本語" "mixed/한국어"
printf 'alpha\n' > "ελληνικά/άλφα.txt"
printf 'zhe\n' > "кириллица/файл.txt"
printf 'nihon\n' > "日本語/中文.txt"
printf 'smile\n' > "emoji 😀.txt"
printf 'korean\n' > "mixed/한국어/글.txt"
printf 'cafe\n' > "café.txt"
seq 1 3000 > plain.txt
find . -exec touch -d "2024-03-04 05:06:08" {} +

zip -qr "$out/utf8-zip.zip" .
7zz a -tzip "$out/utf8-7z.zip" . >/dev/null
bsdtar --format zip -cf "$out/utf8-bsdtar.zip" .
python3 - "$out" <<'PY'
import os, struct, sys, zipfile, zlib
out = sys.argv[1]
files = sorted(os.path.join(r, f)[2:] for r, _, fs in os.walk(".") for f in fs)
with zipfile.ZipFile(f"{out}/utf8-py.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for path in files:
        z.write(path, path)
# ASCII stand-ins in the header, the real UTF-8 name in a Unicode-path record.
with zipfile.ZipFile(f"{out}/utf8-up.zip", "w") as z:
    for i, path in enumerate(files):
        info = zipfile.ZipInfo(f"name{i}.txt", (2024, 3, 4, 5, 6, 8))
        utf8 = path.encode()
        info.extra = struct.pack("<HHBI", 0x7075, 5 + len(utf8), 1, zlib.crc32(info.filename.encode())) + utf8
        z.writestr(info, open(path, "rb").read())
PY
cd "$out"

# Comments: the Debian jar and wheel as shipped, with a comment put behind their end record.
jar=$(readlink -f /usr/share/java/commons-cli.jar)
wheel=$(ls /usr/share/python-wheels/pip-*.whl | head -n 1)
python3 - "$out" "$jar" "$wheel" <<'PY'
import struct, sys
out, jar, wheel = sys.argv[1:]

def with_comment(source, comment, target):
    data = open(source, "rb").read()
    assert data[-22:-18] == b"PK\5\6" and data[-2:] == b"\0\0", source
    open(target, "wb").write(data[:-2] + struct.pack("<H", len(comment)) + comment)

licence = (b"Licensed under the Apache License, Version 2.0 (the \"License\"); you may not use "
           b"this file except in compliance with the License.\r\n") * 600
with_comment(jar, licence[:1513], f"{out}/comment-jar1513.zip")
with_comment(jar, licence[:65535], f"{out}/comment-jar65535.zip")
# A copy of an end record inside the comment, far from its end.
signed = licence[:100] + b"PK\5\6" + b"\0" * 8 + struct.pack("<IIH", 0x7000, 0x7000, 10) + licence[:3878]
with_comment(wheel, signed[:4000], f"{out}/comment-whl4000sig.zip")
open(f"{out}/licence.txt", "wb").write(licence[:4000])
PY
(cd tree && zip -qr -z "$out/comment-zip4000.zip" . < "$out/licence.txt")
python3 - "$out" <<'PY'
import sys, zipfile
with zipfile.ZipFile(f"{sys.argv[1]}/comment-py65535.zip", "w") as z:
    z.writestr(zipfile.ZipInfo("a.txt", (2024, 3, 4, 5, 6, 8)), b"a" * 100)
    z.comment = b"c" * 65535
PY
# A self-extractor: a Windows executable with the archive behind it, offsets adjusted by zip -A.
stub=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/hostname.exe
cat "$stub" comment-jar65535.zip > comment-sfx65535.zip
zip -qA comment-sfx65535.zip
rm licence.txt

# ZIP64 end records, forced.
(cd tree && zip -qr -fz "$out/z64-zip.zip" .)
(cd tree && bsdtar --format zip --options zip:zip64 -cf "$out/z64-bsdtar.zip" .)
python3 - "$out" <<'PY'
import os, sys, zipfile
zipfile.ZIP_FILECOUNT_LIMIT = 0  # the end records go ZIP64 whatever the count
os.chdir("tree")
with zipfile.ZipFile(f"{sys.argv[1]}/z64-py.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for r, _, fs in sorted(os.walk(".")):
        for f in sorted(fs):
            path = os.path.join(r, f)[2:]
            with open(path, "rb") as source, z.open(path, "w", force_zip64=True) as target:
                target.write(source.read())
PY
mkdir many
python3 -c "
for i in range(65600): open('many/f%05d' % i, 'wb').close()
open('many/data.txt', 'w').write('many entries\n' * 100)"
touch -d "2024-03-04 05:06:08" many/data.txt
(cd many && 7zz a -tzip "$out/z64-7z.zip" . >/dev/null)
rm -rf many
python3 - "$out" <<'PY'
import random, sys
out = sys.argv[1]
r = random.Random(9)
for size in (1, 713, 70000):
    stub = b"MZ" + bytes(r.randrange(256) for _ in range(size - 2)) if size > 1 else b"M"
    for tool in ("zip", "7z", "bsdtar", "py"):
        data = open(f"{out}/z64-{tool}.zip", "rb").read()
        open(f"{out}/stub{size}-z64-{tool}.zip", "wb").write(stub + data)
PY

# Directories only by attributes, and a file that looks like one but has data.
python3 - "$out" <<'PY'
import sys, zipfile
out = sys.argv[1]
def entry(z, name, system, attributes, data=b""):
    info = zipfile.ZipInfo(name, (2024, 3, 4, 5, 6, 8))
    info.create_system = system
    info.external_attr = attributes
    z.writestr(info, data)
with zipfile.ZipFile(f"{out}/attrdir-fat.zip", "w") as z:
    entry(z, "def", 0, 0x10)
    entry(z, "def/foo", 0, 0x20, b"foo\n")
    entry(z, "ghi/", 0, 0x10)
    entry(z, "ghi/bar", 0, 0x20, b"bar\n")
    entry(z, "empty", 0, 0x20)
with zipfile.ZipFile(f"{out}/attrdir-unix.zip", "w") as z:
    entry(z, "unixdir", 3, 0o40755 << 16)
    entry(z, "unixdir/nested", 3, 0o40700 << 16)
    entry(z, "unixdir/nested/baz", 3, 0o100644 << 16, b"baz\n")
    entry(z, "unixempty", 3, 0o100644 << 16)
PY

# Archives to cut short, of files of every size from a few bytes to 40 kB, text and noise.
mkdir -p cuttree/docs cuttree/data
python3 - <<'PY'
import random
r = random.Random(27)
words = [bytes(r.randrange(97, 123) for _ in range(r.randrange(2, 9))) for _ in range(300)]
for i in range(64):
    size = r.choice([5, 300, 2000, 9000, 40000])
    text = b" ".join(r.choice(words) for _ in range(size // 5 + 1))[:size]
    data = text if i % 3 else bytes(r.randrange(256) for _ in range(size))
    open(f"cuttree/{('docs', 'data')[i % 2]}/f{i:02d}.{('txt', 'bin')[i % 3 == 0]}", "wb").write(data)
PY
find cuttree -exec touch -d "2024-03-04 05:06:08" {} +
(cd cuttree && zip -qr "$out/cut-zip.zip" . && 7zz a -tzip "$out/cut-7z.zip" . >/dev/null)
(cd cuttree && for m in Deflate64 XZ; do 7zz a -tzip -mm=$m -so . 2>/dev/null > "$out/cut-7z$m.zip"; done)
(cd cuttree && for e in ZipCrypto AES256; do 7zz a -tzip -pvarno -mem=$e -so . 2>/dev/null > "$out/cut-7z$e.zip"; done)
cat "$stub" cut-zip.zip > cut-sfx.zip
zip -qA cut-sfx.zip
python3 - <<'PY' | cat > "$out/cut-py.zip"
import os, sys, zipfile
methods = [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED, zipfile.ZIP_BZIP2, zipfile.ZIP_LZMA]
os.chdir("cuttree")
files = sorted(os.path.join(r, f)[2:] for r, _, fs in os.walk(".") for f in fs)
with zipfile.ZipFile(sys.stdout.buffer, "w") as z:  # a pipe: no seeking, so data descriptors
    for i, path in enumerate(files):
        z.write(path, path, compress_type=methods[i % 4])
PY
python3 - "$out" <<'PY'
import os, struct, subprocess, sys, zlib
os.chdir("cuttree")
files = sorted(os.path.join(r, f)[2:] for r, _, fs in os.walk(".") for f in fs)
local, central = b"", b""
for i, path in enumerate(files):
    data = open(path, "rb").read()
    zstd = lambda part: subprocess.run(["zstd", "-q", "-c"], input=part, stdout=subprocess.PIPE, check=True).stdout
    packed = zstd(data[:len(data) // 2]) + zstd(data[len(data) // 2:]) if i == 1 else zstd(data)
    crc, name = zlib.crc32(data), path.encode()
    fields = struct.pack("<HHHHHIIIHH", 63, 8, 93, 0x28A3, 0x5864, 0, 0, 0, len(name), 0)
    central += struct.pack("<IH", 0x02014b50, 63) + fields[:10] + struct.pack("<III", crc, len(packed), len(data))
    central += fields[-4:] + struct.pack("<HHHII", 0, 0, 0, 0, len(local)) + name
    local += struct.pack("<I", 0x04034b50) + fields + name + packed + struct.pack("<IIII", 0x08074b50, crc, len(packed), len(data))
end = struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, len(files), len(files), len(central), len(local), 0)
open(f"{sys.argv[1]}/cut-zstd.zip", "wb").write(local + central + end)
PY

# What the tools extract. The 7zz ZIP64 archive is compared by one entry.
for a in utf8-* comment-* z64-* stub*-z64-* attrdir-*; do
  name=${a%.zip}
  only=(); [[ $name == *z64-7z ]] && only=(data.txt)
  7zz x -y -mcp=65001 -o"ref7-$name" "$a" "${only[@]}" >/dev/null 2>&1 || rm -rf "ref7-$name"
  status=0; unzip -qq -o "$a" "${only[@]}" -d "refu-$name" >/dev/null 2>&1 || status=$?
  [ $status -le 1 ] || rm -rf "refu-$name"
done
echo "wild archives ready in $out: $(ls "$out"/*.zip | wc -l) archives, $(ls -d "$out"/ref* | wc -l) reference trees"
