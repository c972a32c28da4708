#!/usr/bin/env bash
# The main job: builds the tolvane command, registers the whole suite (every
# group of the catalogue) into a fresh hive file for a sample installation
# whose module files exist, and shows what was written.
#
#   bash scripts/main-job.sh [OUTPUT-DIR]     (default: out/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}

bash scripts/setup.sh main

cmake -S . -B build-main -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-main -j"$(nproc)" --target tolvane_cli >/dev/null

# A sample installation: drive C: is $out/drive-c, the suite lives in
# C:\Program Files\Suite\Bin and shares C:\Program Files\Suite\Common.
rm -rf "$out"
bin="$out/drive-c/Program Files/Suite/Bin"
mkdir -p "$bin"
for module in Zdw.exe ZdwPrnMng.exe ZdwAutomation.dll PackagerQMR.dll ZdwCtrl.ocx Zdweq5X.ocx \
              PivraCtrl.ocx Tabrix.exe Showra.exe QMRXML80.DLL QmrAccessible.dll KorvoX.ocx; do
  printf 'sample module\n' > "$bin/$module"
done

tolvane=build-main/cli/tolvane
hive="$out/registry.reg"
common=(--registry "$hive" --drive "C=$out/drive-c")
# The current user already has per-user extension overrides, one of which
# names an application: the file-extension groups replace it.
cat > "$out/user-overrides.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.zdw]
"Application"="OtherEditor.exe"
REG
"$tolvane" "${common[@]}" import "$out/user-overrides.reg" >/dev/null

status=0
for group in $("$tolvane" groups); do
  echo "=== register $group"
  "$tolvane" "${common[@]}" register "$group" 'C:\Program Files\Suite\Bin\' | sed -n '1,2p' || status=1
done
echo
echo "=== the hive after registering every group ($hive):"
"$tolvane" "${common[@]}" export
exit $status
