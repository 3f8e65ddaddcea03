#!/usr/bin/env bash
# check-dll.sh DLL: every export of src/api/varno.def is present by its plain name, nothing else
# is exported, and the DLL imports system DLLs only (so it loads on a stock Windows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dll=$1
[ -f "$dll" ] || { echo "check-dll: $dll is missing"; exit 1; }
dump=$(llvm-objdump -p "$dll")
status=0

expected=$(sed -n 's/^ *\([A-Za-z_][A-Za-z0-9_]*\) *$/\1/p' "$root/src/api/varno.def" | grep -v '^EXPORTS$' | sort)
actual=$(printf '%s\n' "$dump" | awk '/^Export Table:/{t=1;next} t&&/^ +[0-9]+ +0x[0-9a-f]+ +[A-Za-z_]/{print $3} t&&/^$/{t=0}' | sort)
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
[ -z "$missing" ] || { echo "check-dll: $dll lacks exports: $missing"; status=1; }
[ -z "$extra" ] || { echo "check-dll: $dll exports more than its .def: $extra"; status=1; }

allowed='^(kernel32|user32|gdi32|msvcrt|ole32|oleaut32|shell32|advapi32|comctl32|ntdll)\.dll$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^ *DLL Name: *//p' | tr 'A-Z' 'a-z' | sort -u)
for name in $imports; do
  [[ $name =~ $allowed ]] || { echo "check-dll: $dll imports $name, which is not a system DLL"; status=1; }
done
format=$(printf '%s\n' "$dump" | sed -n 's/.*file format //p' | head -n 1)
[ $status -eq 0 ] && echo "check-dll: $(basename "$dll") ($format): $(echo "$actual" | wc -l) exports, imports $(echo $imports)"
exit $status
