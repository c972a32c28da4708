#!/usr/bin/env bash
# Installs a build into a scratch prefix, checks that every file lands in its
# usual place, then builds the consumer project against that tree both ways,
# with find_package and with pkg-config, and runs it.
#   install_tree_test.sh BUILD-DIR SOURCE-DIR SCRATCH-DIR [CONSUMER-FLAGS]
# CONSUMER-FLAGS: compiler and linker flags a consumer of this build needs
# (the sanitizers of a sanitized build).
set -euo pipefail
build=$1 source=$2 scratch=$3
read -ra consumer_flags <<<"${4:-}"
prefix=$scratch/prefix
rm -rf "$scratch" && mkdir -p "$scratch"
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
for file in bin/tolvane include/tolvane/tolvane.h lib/libtolvane.so lib/cmake/tolvane/tolvaneConfig.cmake \
            lib/cmake/tolvane/tolvaneConfigVersion.cmake lib/pkgconfig/tolvane.pc \
            share/man/man1/tolvane.1 share/bash-completion/completions/tolvane; do
  [[ -e $prefix/$file ]] || { echo "not installed: $file"; status=1; }
done
# The installed command finds the probe library in the tree's lib folder.
if [[ -e $prefix/lib/libtolvane-probe.so ]]; then
  "$prefix/bin/tolvane" --json probe | grep -q '"result"' || { echo "installed tolvane cannot load the probe"; status=1; }
fi
# Nothing of the tests, benchmarks or internal libraries is installed.
if find "$prefix" -name '*_core*' -o -name '*test*' | grep .; then status=1; fi

echo "== find_package"
cmake -S "$source/tests/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$prefix/lib" -DCMAKE_C_FLAGS="${4:-}" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer" || status=1

echo "== pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
read -ra flags <<<"$(pkg-config --cflags --libs tolvane)"
cc -std=c11 -Wall -Werror -o "$scratch/consumer-pc" "$source/tests/consumer/consumer.c" "${flags[@]}" \
  ${consumer_flags[@]+"${consumer_flags[@]}"} \
  -Wl,-rpath,"$prefix/lib"
"$scratch/consumer-pc" || status=1
exit $status
