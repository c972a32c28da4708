#!/usr/bin/env python3
"""The tolvane command at scale, beside the library's own hive figures.

Builds hives of 1,000 / 10,000 / 100,000 keys shaped as the growth benchmark's
nested hive (folders of 100 keys, each with a string default value and a
number), then times whole processes of the command on each:

  read    tolvane --registry HIVE query 'HKCU\\Software\\Missing'
  write   tolvane --registry COPY register ZDW2008_FILE_EXT   (a fresh copy each turn)
  import  tolvane --registry COPY --json import values.reg    (100,000 values into one key)

and, in the same run, the library's parse, apply and save of the same hives
(tolvane_bench --benchmark_filter='Hive(Parse|Apply|Save|SaveFile)Growth/keys:N/nested:1$'):
"save" serialises the store, "save to file" is the whole save the command
makes (serialise, write a temporary file, flush it to disk, rename it).
Wall time is the median of the turns; memory is the process's peak resident
size (wait4's ru_maxrss), median of the turns.

  python3 bench/command_scale.py BUILD/cli/tolvane BUILD-BENCH/bench/tolvane_bench [--runs 5]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SIZES = (1000, 10000, 100000)
IMPORTED_VALUES = 100000


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_nested_source(path, keys):
    """The growth benchmark's nested hive as UTF-8 regedit text."""
    with open(path, "w", encoding="utf-8", newline="\r\n") as out:
        out.write("Windows Registry Editor Version 5.00\n\n")
        for k in range(keys):
            sub = "Software\\Bench\\Folder%04d\\Key%03d" % (k // 100, k % 100)
            text = 'C:\\Suite\\Bin\\Zdw.exe "%1" /key ' + sub
            out.write("[HKEY_CURRENT_USER\\%s]\n@=%s\n\"Number\"=dword:%08x\n\n"
                      % (sub, reg_string(text), k))


def write_values_source(path):
    with open(path, "w", encoding="utf-8", newline="\r\n") as out:
        out.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Imported]\n")
        for v in range(IMPORTED_VALUES):
            out.write('"Value%06d"="C:\\\\Suite\\\\Data\\\\Item%06d.dat"\n' % (v, v))


def run(argv):
    """Wall seconds and peak resident kilobytes of one process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    return wall, usage.ru_maxrss, proc.returncode, err


def measure(argv, runs, before=None, codes=(0,)):
    walls, peaks = [], []
    for _ in range(runs):
        if before:
            before()
        wall, peak, code, err = run(argv)
        if code not in codes:
            sys.exit("%s: exit %d: %s" % (" ".join(argv), code, err.strip()))
        walls.append(wall)
        peaks.append(peak)
    return statistics.median(walls) * 1000, statistics.median(peaks) / 1024


def library_figures(bench, runs):
    sizes = "|".join(str(n) for n in SIZES)
    out = subprocess.run(
        [bench, "--benchmark_filter=Hive(Parse|Apply|Save|SaveFile)Growth/keys:(%s)/nested:1$" % sizes,
         "--benchmark_repetitions=%d" % runs, "--benchmark_report_aggregates_only=true",
         "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    figures = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"]  # BM_HiveParseGrowth/keys:1000/nested:1
        step = name.split("/")[0][len("BM_Hive"):-len("Growth")].lower()
        keys = int(name.split("/")[1].split(":")[1])
        figures[(step, keys)] = b["real_time"]  # milliseconds
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tolvane")
    parser.add_argument("bench")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    tolvane = os.path.abspath(args.tolvane)

    work = tempfile.mkdtemp(prefix="tolvane-scale-")
    try:
        values = os.path.join(work, "values.reg")
        write_values_source(values)
        rows = []
        for keys in SIZES:
            source = os.path.join(work, "source-%d.reg" % keys)
            hive = os.path.join(work, "hive-%d.reg" % keys)
            copy = os.path.join(work, "copy-%d.reg" % keys)
            write_nested_source(source, keys)
            subprocess.run([tolvane, "--registry", hive, "--json", "import", source], check=True,
                           stdout=subprocess.DEVNULL)
            os.remove(source)
            def fresh(hive=hive, copy=copy):
                # The copy's own write-back is flushed before the command
                # starts, so the command's save is not charged for it.
                shutil.copyfile(hive, copy)
                os.sync()

            read = measure([tolvane, "--registry", hive, "query", "HKCU\\Software\\Missing"],
                           args.runs, codes=(0, 1))
            write = measure([tolvane, "--registry", copy, "register", "ZDW2008_FILE_EXT"],
                            args.runs, fresh)
            imported = measure([tolvane, "--registry", copy, "--json", "import", values],
                               args.runs, fresh)
            rows.append((keys, os.path.getsize(hive), read, write, imported))
        library = library_figures(args.bench, args.runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("| keys | hive | library parse + apply (+ save; + save to file) | read | × "
          "| one-group write | × save | × save to file | import of 100,000 values |")
    print("|---|---|---|---|---|---|---|---|---|")
    for keys, size, read, write, imported in rows:
        load = library[("parse", keys)] + library[("apply", keys)]
        save = library[("save", keys)]
        saved = library[("savefile", keys)]
        print("| %d | %.1f MB | %.1f + %.1f (+ %.1f; + %.1f) ms | %.0f ms, %.0f MB | %.2f "
              "| %.0f ms, %.0f MB | %.2f | %.2f | %.0f ms, %.0f MB |"
              % (keys, size / 1e6, library[("parse", keys)], library[("apply", keys)], save,
                 saved, read[0], read[1], read[0] / load, write[0], write[1],
                 write[0] / (load + save), write[0] / (load + saved), imported[0],
                 imported[1]))
    small, large = rows[1], rows[2]
    print("\nper key, 100,000 against 10,000 keys: read %.2f×, write %.2f×"
          % (large[2][0] / small[2][0] / 10, large[3][0] / small[3][0] / 10))
    print("read peak against the hive file: %.2f× (%d keys)"
          % (large[2][1] * 1024 * 1024 / large[1], large[0]))


if __name__ == "__main__":
    main()
