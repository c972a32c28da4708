#!/usr/bin/env python3
"""The library against the platform's own registry writers, under Wine.

  wine_bench.py registrar BUILD [--blocks N] [--runs R]
      registrar_comparison.exe: the COM registrar's StringRegister and the
      library's script engine apply the same generated script, in one
      process (times, ratio, the engine's counted calls); then one more run
      under WINEDEBUG=+server counts every Wine server round trip of either
      side between the program's marks.

  wine_bench.py suite BUILD PORTABLE_TOLVANE [--runs R]
      The whole suite written by the built tolvane.dll (RegProduct of every
      group, suite_runner.exe) against `reg import` of the .reg file the
      portable command exports for the same run. The run starts from the
      prefix's registry as made; before each timed program the keys the
      suite writes are deleted again, so all start from the same registry.
      Times are whole Wine processes (wall clock), and the same for a
      program that does nothing of the work (the library loaded but no
      group run; an import of an empty .reg file), so the difference is the
      work itself. Then one traced run of each counts its server requests.

BUILD is a Windows x64 build directory configured with -DTOLVANE_BUILD_BENCH=ON
holding tolvane.dll, registrar_comparison.exe and suite_runner.exe. The
prefix is BUILD/wineprefix-bench, made when missing, with a copy of its
registry files as made. Output: a report on stdout.
"""
import argparse
import collections
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

DIRECTORY = "C:\\Suite\\Bin\\"
MODULES = ("QMRXML80.DLL", "QmrAccessible.DLL", "Zdw.exe", "ZdwAutomation.DLL",
           "PackagerQMR.DLL", "ZDWCTRL.OCX", "ZDWEQ5X.OCX", "PivraCtrl.ocx", "Tabrix.exe",
           "Showra.exe", "KORVOX.OCX")
REGISTRY_FILES = ("system.reg", "user.reg", "userdef.reg")
# Server requests that reach the registry.
REGISTRY_REQUESTS = {"open_key", "create_key", "set_key_value", "get_key_value", "delete_key",
                     "delete_key_value", "enum_key", "enum_key_value", "flush_key",
                     "load_registry", "unload_registry", "save_registry", "set_registry_notification"}
REQUEST = re.compile(r"^([0-9a-f]+): (\w+)\((.*)$")
MARK = re.compile(r'tolvane-bench-mark:([\w-]+)-(begin|end)"')


class Wine:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.prefix = os.path.join(self.build, "wineprefix-bench")
        # The registry files as the new prefix had them, put back before
        # each timed program of the suite comparison.
        self.as_made = os.path.join(self.prefix, "registry-as-made")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="ko_KR.UTF-8")
        self.env.pop("DISPLAY", None)
        self.scratch = tempfile.mkdtemp(prefix="tolvane-wine-bench-")

    def run(self, args, debug="-all", name="out", overrides=""):
        """Runs a Wine program with its output in files (never pipes: the
        Wine server's children inherit them); answers (seconds, stdout,
        stderr path)."""
        out = os.path.join(self.scratch, name + ".stdout")
        err = os.path.join(self.scratch, name + ".stderr")
        env = dict(self.env, WINEDEBUG=debug)
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        with open(out, "wb") as o, open(err, "wb") as e:
            start = time.perf_counter()
            proc = subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL, stdout=o,
                                  stderr=e, timeout=900)
            seconds = time.perf_counter() - start
        with open(out, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        if proc.returncode != 0:
            raise SystemExit(f"wine {args}: exit {proc.returncode}\n{text}")
        return seconds, text, err

    def server(self, *args):
        subprocess.run(["wineserver", *args], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    def start(self):
        """One server for the whole run, lasting 30 s past the last program,
        with the system processes started."""
        if not os.path.isdir(self.as_made):
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.run(["wineboot", "--init"], name="boot")
            self.server("-w")
            os.makedirs(self.as_made)
            for name in REGISTRY_FILES:
                shutil.copy2(os.path.join(self.prefix, name), self.as_made)
        self.server("-w")
        self.server("-p30")
        self.run(["cmd", "/c", "exit"], name="warm")

    def traced(self, args, name):
        """Runs a program on a server of its own that traces every request
        (the server writes the trace, so it must be started with it); the
        server and the system processes are warmed up first. Answers the
        trace of the program's run alone."""
        self.server("-k")
        self.server("-w")
        trace = os.path.join(self.scratch, name + ".trace")
        with open(trace, "wb") as t:
            server = subprocess.Popen(["wineserver", "-f", "-d1", "-p30"], env=self.env,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=t)
            try:
                time.sleep(1)
                self.run(["cmd", "/c", "exit"], name="warm")
                start = os.path.getsize(trace)
                self.run(args, name=name)
                time.sleep(1)
                end = os.path.getsize(trace)
            finally:
                self.server("-k")
                server.wait(timeout=120)
        with open(trace, "rb") as f:
            before = f.read(start).decode("utf-8", "replace").splitlines()
            lines = f.read(end - start).decode("utf-8", "replace").splitlines()
        # Only the threads of the program's own processes: the system
        # processes were running before it started.
        old = {m.group(1) for m in map(REQUEST.match, before) if m}
        return [line for line in lines if (m := REQUEST.match(line)) and m.group(1) not in old]

    def windows_path(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")


CLASSES = "HKEY_CLASSES_ROOT\\"
# Keys of the classes root that other software shares: never deleted, only
# the keys the suite writes beneath them.
SHARED = {"CLSID", "Interface", "TypeLib", "MIME", "MIME\\Database",
          "MIME\\Database\\Content Type"}


def written_roots(keys):
    """The keys to delete so that every key of KEYS is gone while the shared
    keys stay: for each key, its first ancestor (or itself) not shared."""
    roots = []
    for key in keys:
        if not key.startswith(CLASSES):
            raise SystemExit(f"the suite wrote {key}, outside the classes root")
        parts = key[len(CLASSES):].split("\\")
        for depth in range(1, len(parts) + 1):
            path = "\\".join(parts[:depth])
            if path not in SHARED:
                if CLASSES + path not in roots:
                    roots.append(CLASSES + path)
                break
    return roots


def count_requests(lines):
    """Server requests by phase between the program's marks (on the marking
    thread only); without marks, every request under the phase "all"."""
    phases = collections.defaultdict(collections.Counter)
    phase, thread = None, None
    marked = False
    for line in lines:
        m = REQUEST.match(line)
        if not m or m.group(3).startswith(") ="):
            continue
        mark = MARK.search(line)
        if mark:
            marked = True
            thread = m.group(1)
            phase = mark.group(1) if mark.group(2) == "begin" else None
            continue
        if not marked:
            phases["all"][m.group(2)] += 1
        elif phase and m.group(1) == thread:
            phases[phase][m.group(2)] += 1
    if marked:
        phases.pop("all", None)
    return phases


def describe(counter):
    registry = {k: v for k, v in counter.items() if k in REGISTRY_REQUESTS or k == "close_handle"}
    other = sum(v for k, v in counter.items() if k not in registry)
    parts = ", ".join(f"{k} {v}" for k, v in sorted(registry.items(), key=lambda kv: -kv[1]))
    return f"{sum(counter.values())} requests: {parts}; other {other}"


def registrar(args):
    wine = Wine(args.build)
    wine.start()
    exe = os.path.join(wine.build, "registrar_comparison.exe")
    _, report, _ = wine.run([exe, "--blocks", str(args.blocks), "--runs", str(args.runs)],
                            name="compare")
    print(report.rstrip())
    trace = wine.traced([exe, "--blocks", str(args.blocks), "--trace"], name="trace")
    print(f"Wine server requests, one turn each ({args.blocks} blocks):")
    for phase, counter in count_requests(trace).items():
        print(f"  {phase:16} {describe(counter)}")
    shutil.rmtree(wine.scratch, ignore_errors=True)


def suite(args):
    wine = Wine(args.build)
    wine.start()
    drive_c = os.path.join(wine.prefix, "drive_c")
    bin_dir = os.path.join(drive_c, "Suite", "Bin")
    os.makedirs(bin_dir, exist_ok=True)
    for module in MODULES:
        open(os.path.join(bin_dir, module), "wb").close()

    # The portable command's run of the same suite, and its export.
    portable = [args.portable]
    groups = subprocess.run(portable + ["groups"], capture_output=True, check=True,
                            text=True).stdout.split()
    hive = os.path.join(wine.scratch, "suite-hive.reg")
    for group in groups:
        subprocess.run(portable + ["--registry", hive, "--drive", "C=" + drive_c, "register",
                                   group, DIRECTORY], capture_output=True, check=True)
    exported = os.path.join(wine.scratch, "suite.reg")
    subprocess.run(portable + ["--registry", hive, "export", "--output", exported],
                   capture_output=True, check=True)
    with open(exported, "rb") as f:
        exported_keys = [line[1:-1] for line in f.read().decode("utf-16").splitlines()
                         if line.startswith("[")]
    keys = len(exported_keys)
    empty = os.path.join(wine.scratch, "empty.reg")
    with open(empty, "wb") as f:
        f.write(b"\xff\xfe" + "Windows Registry Editor Version 5.00\r\n\r\n".encode("utf-16-le"))

    # Between programs the keys the suite writes are deleted again (one
    # import of removals), so every timed program starts from the same
    # registry while the server and the system processes stay warm:
    # restarting them each time would make process times swing more than
    # the work being measured.
    removal = os.path.join(wine.scratch, "remove.reg")
    lines = ["Windows Registry Editor Version 5.00", ""]
    for root in written_roots(exported_keys):
        lines += [f"[-{root}]", ""]
    with open(removal, "wb") as f:
        f.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))

    def fresh():
        wine.run(["reg", "import", wine.windows_path(removal)], name="remove")
        # A pause after the removal's own process, so that its end is not
        # part of the next program's time.
        time.sleep(2)

    # Once, the registry as the prefix was made, so that keys of an earlier
    # run (or of the tests) are not there to be overwritten.
    wine.server("-k")
    wine.server("-w")
    for name in REGISTRY_FILES:
        shutil.copy2(os.path.join(wine.as_made, name), os.path.join(wine.prefix, name))
    wine.start()

    runner = os.path.join(wine.build, "suite_runner.exe")
    programs = {
        "dll": [runner, "dll", DIRECTORY, *groups],
        "dll-load-only": [runner, "dll", DIRECTORY],
        # Wine answers the library's association-changed notification by
        # starting winemenubuilder.exe, a process of its own, for every
        # RegProduct call that changed something; this run goes without it.
        "dll-no-menubuilder": [runner, "dll", DIRECTORY, *groups],
        "reg-import": ["reg", "import", wine.windows_path(exported)],
        "reg-import-empty": ["reg", "import", wine.windows_path(empty)],
    }
    seconds = collections.defaultdict(list)
    inside = collections.defaultdict(list)
    for run in range(args.runs):
        order = list(programs) if run % 2 == 0 else list(reversed(programs))
        for name in order:
            fresh()
            took, text, _ = wine.run(programs[name], name=name, overrides=(
                "winemenubuilder.exe=d" if name == "dll-no-menubuilder" else ""))
            seconds[name].append(took)
            if name.startswith("dll-no") or name == "dll":
                if " 0 failed" not in text:
                    raise SystemExit(f"a group failed: {text}")
                inside[name].append(float(re.search(r"([\d.]+) ms", text).group(1)))

    med = {name: statistics.median(v) * 1000 for name, v in seconds.items()}
    print(f"suite: {len(groups)} groups; the export holds {keys} keys")
    print(f"runs: {args.runs}; milliseconds of whole Wine processes, median (min-max)")
    for name, values in seconds.items():
        print(f"  {name:18} {med[name]:8.1f} ({min(values) * 1000:.1f}-{max(values) * 1000:.1f})")
    for name, values in inside.items():
        print(f"  RegProduct calls inside the {name} process: {statistics.median(values):.1f} ms "
              f"({min(values):.1f}-{max(values):.1f})")
    # Under load the medians of whole processes swing; the fastest of each
    # is the least disturbed, so both are given.
    low = {name: min(v) * 1000 for name, v in seconds.items()}
    for label, t in (("medians", med), ("fastest", low)):
        net_reg = t["reg-import"] - t["reg-import-empty"]
        for name in ("dll", "dll-no-menubuilder"):
            net_dll = t[name] - t["dll-load-only"]
            # reg import's work can hide inside its process's fixed cost.
            alone = f"{net_dll / net_reg:.2f}" if net_reg >= 5 else "not measurable"
            print(f"ratio {name}/reg import, {label}: whole processes "
                  f"{t[name] / t['reg-import']:.2f}; work alone (minus the do-nothing program) "
                  f"{net_dll:.1f} / {net_reg:.1f} ms = {alone}")

    print("Wine server requests, one traced run each from the same fresh registry:")
    fresh()
    trace = wine.traced(programs["dll"], name="trace-dll")
    for phase, counter in count_requests(trace).items():
        print(f"  dll {phase:12} {describe(counter)}")
    counts = {}
    for name in ("reg-import", "reg-import-empty"):
        fresh()
        trace = wine.traced(programs[name], name="trace-" + name)
        counts[name] = count_requests(trace)["all"]
        print(f"  {name:16} {describe(counts[name])}")
    difference = counts["reg-import"] - counts["reg-import-empty"]
    print(f"  reg import minus the empty import: {describe(difference)}")
    fresh()
    shutil.rmtree(wine.scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="what", required=True)
    r = sub.add_parser("registrar")
    r.add_argument("build")
    r.add_argument("--blocks", type=int, default=1000)
    r.add_argument("--runs", type=int, default=5)
    s = sub.add_parser("suite")
    s.add_argument("build")
    s.add_argument("portable")
    s.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    (registrar if args.what == "registrar" else suite)(args)


if __name__ == "__main__":
    main()
