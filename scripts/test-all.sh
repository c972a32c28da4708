#!/usr/bin/env bash
# Builds and tests every configuration of the library:
#   build/        native: the portable build and all unit and command tests
#   build-asan/   native with AddressSanitizer and UBSan: the unit and command tests again
#   build-fuzz/   every libFuzzer target (clang) for a short, bounded time
#   build-win64/  64-bit Windows (mingw-w64): the unit tests under Wine, tolvane.exe and
#                 tolvane.dll against Wine's registry (compared with the native command's
#                 hive), the probe's answer, the export tables
#   build-win32/  32-bit Windows (mingw-w64): the export tables, msi.dll imports by ordinal and
#                 the custom actions' "ret 4" checked first, then the same tests as 64-bit
#                 under 32-bit Wine (a 32-bit prefix and msiexec) and each export's
#                 calling convention measured
#   build-win64/package/  the Windows ZIP archive of both, its listing checked
# Every build fails on a compiler warning (-DTOLVANE_WERROR=ON), and a source file that
# clang-format would change fails the run before any build (scripts/check-format.sh).
# Usage: bash scripts/test-all.sh   (TOLVANE_JOBS sets the build parallelism)
# It first installs what is missing (scripts/setup.sh; as root on a fresh machine).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${TOLVANE_JOBS:-$(nproc)}
cd "$root"

step() { printf '\n==== %s\n' "$*"; }

step "set-up: packages and locale"
bash scripts/setup.sh all

# Wine runs without a display and with its prefix inside each build tree.
unset DISPLAY
export WINEDEBUG=-all

step "style: every C++ source as clang-format writes it"
bash scripts/check-format.sh

step "native: configure and build"
# The benchmarks are built (not run) so that they keep compiling.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLVANE_WERROR=ON -DTOLVANE_BUILD_BENCH=ON
cmake --build build -j"$jobs"
step "native: tests"
ctest --test-dir build --output-on-failure -j"$jobs"

step "native with ASan+UBSan: configure, build and test"
# Any sanitizer report fails the run; the Wine round trip is covered above.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DTOLVANE_SANITIZE=ON -DTOLVANE_WERROR=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -E wine_hive_round_trip

step "fuzz targets: ${TOLVANE_FUZZ_SECONDS:=20} seconds each"
TOLVANE_FUZZ_SECONDS=$TOLVANE_FUZZ_SECONDS bash scripts/fuzz-smoke.sh

step "Windows x86-64: configure and build"
cmake -S . -B build-win64 -DCMAKE_BUILD_TYPE=Release -DTOLVANE_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTOLVANE_PORTABLE_COMMAND="$root/build/cli/tolvane"
cmake --build build-win64 -j"$jobs"
step "Windows x86-64: tests under Wine"
ctest --test-dir build-win64 --output-on-failure
for shot in build-win64/assoc-dialog/*.png; do
  [[ -e $shot ]] && echo "association dialog screenshot: $root/$shot"
done
shot=build-win64/msi-test/failure-message-ko.png
if [[ -f $shot ]]; then echo "screenshot of the Korean failure message box: $root/$shot"; fi

step "Windows x86: configure and build"
cmake -S . -B build-win32 -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_TESTS=ON -DTOLVANE_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
  -DTOLVANE_PORTABLE_COMMAND="$root/build/cli/tolvane"
cmake --build build-win32 -j"$jobs"
step "Windows x86: export table and the custom actions' return"
# Seconds, before the slower proof under 32-bit Wine's msiexec below.
bash scripts/check-exports.sh i686-w64-mingw32-objdump build-win32/tolvane.dll \
  platform/win32/tolvane.def
bash scripts/check-exports.sh i686-w64-mingw32-objdump build-win32/cli/tolvane-probe.dll \
  probe/tolvane-probe.def
bash scripts/check-custom-actions.sh i686-w64-mingw32-objdump build-win32/tolvane.dll
step "Windows x86: tests under 32-bit Wine"
ctest --test-dir build-win32 --output-on-failure
shot=build-win32/msi-test/failure-message-ko.png
if [[ -f $shot ]]; then echo "screenshot of the Korean failure message box (x86): $root/$shot"; fi

step "Windows archive: pack x64 and x86 and check the listing"
TOLVANE_JOBS=$jobs bash scripts/windows-zip.sh build-win64/package
python3 tests/windows_archive_test.py build-win64/package/tolvane-*-windows.zip

step "all configurations passed"
