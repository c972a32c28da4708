#!/usr/bin/env bash
# Checks what an installer relies on in tolvane.dll beyond the export names:
#  - msi.dll is imported by ordinal only (no function name of it appears);
#  - on x86, _RegProduct and _RegKorvo remove their one argument on return
#    (their first return instruction is "ret $0x4").
# Usage: check-custom-actions.sh OBJDUMP LIBRARY.dll
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 OBJDUMP LIBRARY.dll" >&2
  exit 2
fi
objdump=$1
library=$2
headers=$("$objdump" -p "$library")

# The import entries of msi.dll: "vma  hint/ordinal  name"; an import by
# ordinal has the name "<none>".
msi=$(awk '/DLL Name:/ { inside = tolower($3) == "msi.dll"; next }
                              inside && /vma:/ { next }
                              inside && NF == 0 { inside = 0 }
                              inside { print }' <<<"$headers")
if [[ -z $msi ]]; then
  echo "check-custom-actions: $library imports nothing from msi.dll" >&2
  exit 1
fi
named=$(grep -v '<none>' <<<"$msi" || true)
if [[ -n $named ]]; then
  echo "check-custom-actions: $library imports msi.dll functions by name:" >&2
  echo "$named" >&2
  exit 1
fi
echo "check-custom-actions: msi.dll imported by ordinal only ($(echo "$msi" | wc -l) entries)"

if [[ $headers != *"file format pei-i386"* ]]; then
  exit 0
fi

# Address of an export: ImageBase + the RVA of its ordinal index.
image_base=$(awk '$1 == "ImageBase" { print $2; exit }' <<<"$headers")
for name in _RegProduct _RegKorvo; do
  index=$(awk -v n="$name" '/^\[Ordinal\/Name Pointer\] Table/ { t = 1; next }
            t && $NF == n { gsub(/[][]/, "", $1); print ($1 == "" ? $2 : $1) + 0; exit }' <<<"$headers")
  rva=$(awk -v i="$index" '/^Export Address Table -- Ordinal Base/ { t = 1; next }
            t && /Export RVA/ { line = $0; gsub(/[][]/, " ", line); split(line, f, " ");
                               if (f[1] + 0 == i) { print f[4]; exit } }' <<<"$headers")
  if [[ -z $index || -z $rva ]]; then
    echo "check-custom-actions: $name is not exported" >&2
    exit 1
  fi
  start=$(printf '0x%x' $((0x$image_base + 0x$rva)))
  listing=$("$objdump" -d --no-show-raw-insn --start-address="$start" \
              --stop-address=$((start + 512)) "$library")
  ret=$(grep -m1 -E '\sret' <<<"$listing" || true)
  if [[ ! $ret =~ ret[[:space:]]+\$0x4$ ]]; then
    echo "check-custom-actions: $name at $start returns with '${ret##*:}', not 'ret \$0x4'" >&2
    exit 1
  fi
  echo "check-custom-actions: $name at $start returns with ret \$0x4"
done
