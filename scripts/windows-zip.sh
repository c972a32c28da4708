#!/usr/bin/env bash
# Builds the Windows distribution: one ZIP archive holding the x64 and x86
# install trees and the README for installer authors.
#
#   bash scripts/windows-zip.sh [OUTPUT-DIR]     (default: out/)
#
# It uses (and configures when missing) the Release trees build-win64/ and
# build-win32/, or those named by TOLVANE_WIN64_BUILD and TOLVANE_WIN32_BUILD.
# The archive's times are $SOURCE_DATE_EPOCH, by default the time of the
# commit, so the same commit always gives the same bytes.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=$(realpath -m "${1:-out}")
win64=$(realpath -m "${TOLVANE_WIN64_BUILD:-build-win64}")
win32=$(realpath -m "${TOLVANE_WIN32_BUILD:-build-win32}")
jobs=${TOLVANE_JOBS:-$(nproc)}
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 946684800)
fi
export SOURCE_DATE_EPOCH
# ZIP entries hold local times: the same in every time zone only in one.
export TZ=UTC

configure() {  # tree processor
  if [[ ! -f $1/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_TESTS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$2.cmake" >/dev/null
  fi
}
configure "$win32" i686
configure "$win64" x86_64
cmake -DTOLVANE_OTHER_ARCH_BUILD="$win32" "$win64" >/dev/null
cmake --build "$win32" -j"$jobs"
cmake --build "$win64" -j"$jobs"

mkdir -p "$out"
cpack --config "$win64/CPackConfig.cmake" -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/tolvane-*-windows.zip
