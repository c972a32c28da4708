#!/usr/bin/env bash
# Checks that a Windows library exports exactly the names its .def file
# lists, each undecorated (no leading underscore, no @n suffix).
# Usage: check-exports.sh OBJDUMP LIBRARY.dll EXPORTS.def
set -euo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 OBJDUMP LIBRARY.dll EXPORTS.def" >&2
  exit 2
fi
objdump=$1
library=$2
def=$3

# Names after EXPORTS: the first word of each line, without comments, an
# internal name after "=" or an ordinal after "@".
expected=$(sed -e 's/;.*//' -e 's/\r$//' "$def" |
  awk 'toupper($1) == "EXPORTS" { listing = 1; next }
       listing && NF { name = $1; sub(/=.*/, "", name); sub(/@.*/, "", name); print name }' |
  LC_ALL=C sort)

# The name pointer table of the export directory.
actual=$("$objdump" -p "$library" |
  awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
       table && /^[[:space:]]*\[ *[0-9]+\]/ { print $NF; next }
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
