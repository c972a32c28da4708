#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while on
# its seed corpus (scripts/test-all.sh runs it, so CI does). New inputs go to a scratch corpus inside
# the build tree, so fuzz/corpus/ stays as committed; a crashing input is
# saved there as crash-* and the script fails.
# Usage: bash scripts/fuzz-smoke.sh   (TOLVANE_FUZZ_SECONDS, default 20;
#                                      TOLVANE_FUZZ_BUILD, default build-fuzz)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${TOLVANE_FUZZ_SECONDS:-20}
build=${TOLVANE_FUZZ_BUILD:-$root/build-fuzz}
cd "$root"

if ! command -v clang++ >/dev/null; then
  echo "fuzz-smoke: clang++ is needed (apt-get install clang)" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVANE_BUILD_FUZZ=ON -DTOLVANE_BUILD_TESTS=OFF -DTOLVANE_BUILD_CLI=OFF -DTOLVANE_WERROR=ON
cmake --build "$build" -j"$(nproc)" --target hive_round_trip_fuzzer script_engine_fuzzer \
  path_buffer_fuzzer

failed=0
for target in hive_round_trip script_engine path_buffer; do
  work="$build/fuzz/run/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  printf '\n==== %s (%ss)\n' "$target" "$seconds"
  if ! "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
      -dict="fuzz/$target.dict" -artifact_prefix="$work/artifacts/" \
      "$work/corpus" "fuzz/corpus/$target" >"$work/log.txt" 2>&1; then
    echo "$target: FAILED, see $work/log.txt and $work/artifacts/" >&2
    failed=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$work/log.txt" || true
done
exit "$failed"
