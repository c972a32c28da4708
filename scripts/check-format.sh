#!/usr/bin/env bash
# Fails, naming each file, when a C++ source differs from what clang-format
# (with the .clang-format at the top) writes. The fix is
#   clang-format -i FILE...
# Usage: bash scripts/check-format.sh   (from anywhere in a git checkout or a copy of one)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is needed (apt-get install clang-format)" >&2
  exit 2
fi

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cc' '*.h')
else
  mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cc' -o -name '*.h' \) -print)
fi

unformatted=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then unformatted+=("$file"); fi
done
if ((${#unformatted[@]} > 0)); then
  echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not as clang-format writes them:" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  echo "check-format: run clang-format -i on them" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as clang-format writes them"
