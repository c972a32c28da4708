#!/usr/bin/env bash
# Checks that a Windows library exports exactly the names its .def file
# lists, each undecorated (no leading underscore, no @n suffix), and at the
# ordinal the .def file gives ("Name @2"), where it gives one.
# Usage: check-exports.sh OBJDUMP LIBRARY.dll EXPORTS.def
set -euo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 OBJDUMP LIBRARY.dll EXPORTS.def" >&2
  exit 2
fi
objdump=$1
library=$2
def=$3

# Names after EXPORTS: the first word of each line, without comments or an
# internal name after "="; "name@N" where the line gives the ordinal N.
expected=$(sed -e 's/;.*//' -e 's/\r$//' "$def" |
  awk 'toupper($1) == "EXPORTS" { listing = 1; next }
       listing && NF {
         line = $0; sub(/^[[:space:]]*[^[:space:]]+/, "", line)
         name = $1; sub(/=.*/, "", name); ordinal = ""
         if (match(name, /@[0-9]+$/)) { ordinal = substr(name, RSTART); sub(/@.*/, "", name) }
         else if (match(line, /^[[:space:]]*@[[:space:]]*[0-9]+/)) {
           ordinal = substr(line, RSTART, RLENGTH); gsub(/[[:space:]]/, "", ordinal)
         }
         print name ordinal
       }' |
  LC_ALL=C sort)

# The name pointer table of the export directory, each name with its
# ordinal (the ordinal base plus the table's unbiased ordinal) where the
# .def file gives one.
actual=$("$objdump" -p "$library" |
  awk -v expected="$expected" '
       BEGIN { n = split(expected, lines, "\n")
               for (i = 1; i <= n; i++) if (split(lines[i], part, "@") == 2) numbered[part[1]] = 1 }
       /^Ordinal Base/ { base = $NF }
       /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
       table && /^[[:space:]]*\[ *[0-9]+\]/ {
         index_text = $0; sub(/^[[:space:]]*\[ */, "", index_text); sub(/\].*/, "", index_text)
         print ($NF in numbered) ? $NF "@" (base + index_text) : $NF; next }
       table && !NF { table = 0 }' |
  LC_ALL=C sort)

if [[ -z $expected ]]; then
  echo "check-exports: $def lists no exports" >&2
  exit 1
fi
if [[ $expected != "$actual" ]]; then
  echo "check-exports: $library does not export exactly the names of $def" >&2
  comm -23 <(echo "$expected") <(echo "$actual") | sed -e 's/^/  missing: /' >&2
  comm -13 <(echo "$expected") <(echo "$actual") | sed -e 's/^/  unexpected: /' >&2
  exit 1
fi
echo "check-exports: $(basename "$library") exports $(echo "$expected" | wc -l) names as listed"
