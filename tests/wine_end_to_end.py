#!/usr/bin/env python3
"""The Windows command and library against Wine's own registry.

tolvane.exe registers into the system registry and reports what it changed;
with --registry FILE the same command is a dry run that leaves the system
registry alone. tolvane.dll, called by name as an installer calls it, writes
exactly the keys the portable build writes into its hive: `reg export` of
each key and the portable command's export are the same bytes. The probe
library beside tolvane.exe finds Wine's user an administrator.

Usage: wine_end_to_end.py WINE TOLVANE_EXE CALL_EXPORTS_EXE [PORTABLE_TOLVANE]

WINEPREFIX names a prepared prefix; the locale must give Wine the ANSI code
page 949 (LC_ALL=ko_KR.UTF-8), in which the registrar scripts are written.
Without PORTABLE_TOLVANE the comparison with the portable build is skipped.
"""
import difflib
import json
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

WINE = EXE = CALL_EXPORTS = PORTABLE = PREFIX = None
VIEW = "/reg:64"  # the registry view of the library under test, for reg export
WINESERVER = shutil.which("wineserver")

DIRECTORY = "C:\\Suite\\Bin\\"
MODULES = ("Zdw.exe", "ZdwAutomation.dll", "PackagerQMR.dll", "ZdwCtrl.ocx", "Zdweq5X.ocx",
           "PivraCtrl.ocx")
GROUPS = ("ZDW2008_MODULE", "ZDW2008_FILE_EXT")
# The module files of the other groups, for the test that runs them all.
OTHER_MODULES = ("Tabrix.exe", "Showra.exe", "QMRXML80.DLL", "QmrAccessible.DLL", "KORVOX.OCX")
FILE_EXTS = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"
CLASSES = "HKEY_CLASSES_ROOT\\"
# Keys of the classes root that other software shares: never deleted, only
# the keys the groups write beneath them.
SHARED = {"CLSID", "Interface", "TypeLib", "MIME", "MIME\\Database",
          "MIME\\Database\\Content Type"}


def start_wine():
    """Keeps one Wine server and its system processes running for the whole
    run. Started with its output on /dev/null: the system processes inherit
    the descriptors of the program that starts them, and a later program's
    captured output would otherwise stay open until they exit."""
    if WINESERVER:
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, timeout=120)
        subprocess.run([WINESERVER, "-w"], **quiet)  # a server of another run ends first
        subprocess.run([WINESERVER, "-p10"], **quiet)  # then ours lasts 10 s past the last program
    subprocess.run([WINE, EXE, "groups"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)


def run(command, what):
    proc = subprocess.run(command, capture_output=True, timeout=300)
    if proc.returncode != 0:
        raise AssertionError(f"{what}: exit {proc.returncode}: {proc.stderr[-600:]!r}")
    return proc


def wine(*args):
    return run([WINE, *args], f"wine {args}")


def exe(*args):
    return run([WINE, EXE, *args], f"tolvane.exe {args}")


def portable(*args):
    return run([PORTABLE, *args], f"tolvane {args}")


def windows_path(path):
    # Wine's Z: drive is the root of the host's file system.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def registry_view(image):
    """reg's switch for the registry view a Windows image sees: Wine's reg
    may be the other architecture's, and the class keys differ between
    views."""
    with open(image, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return "/reg:64" if int.from_bytes(head[pe + 4:pe + 6], "little") == 0x8664 else "/reg:32"


def export_differences(before, after):
    """The first lines in which two reg exports differ, as a unified diff."""
    lines = [data.decode("utf-16").splitlines() if data else [] for data in (before, after)]
    return list(difflib.unified_diff(*lines, lineterm="", n=1))[:60]


def hive_keys(command, hive):
    """The key names of a hive file, in file order, from COMMAND's export."""
    text = command("--registry", hive, "export").stdout.decode("utf-8")
    return [line[1:-1] for line in text.splitlines() if line.startswith("[")]


def written_roots(keys):
    """The keys to delete so that every key of KEYS is gone while the shared
    keys of the classes root stay: for each key, its first ancestor (or
    itself) that is not shared."""
    roots = []
    for key in keys:
        assert key.startswith(CLASSES), key
        parts = key[len(CLASSES):].split("\\")
        for depth in range(1, len(parts) + 1):
            path = "\\".join(parts[:depth])
            if path not in SHARED:
                root = CLASSES + path
                if root not in roots:
                    roots.append(root)
                break
    return roots


class WineRegistry:
    """Batch access to Wine's registry: one Wine process per batch."""

    def __init__(self, scratch):
        self.scratch = scratch

    def delete(self, keys):
        # reg import of "[-KEY]" lines would not reach the 64-bit view of
        # the class keys; reg delete takes the view.
        self.batch([f'reg delete "{key}" /f {VIEW} >nul 2>&1' for key in keys])

    def batch(self, lines):
        """Runs reg commands in one Wine process; their statuses are not
        looked at."""
        path = os.path.join(self.scratch, "batch.bat")
        with open(path, "w", newline="") as f:
            f.write("\r\n".join(["@echo off", *lines]) + "\r\n")
        subprocess.run([WINE, "cmd", "/c", windows_path(path)], capture_output=True, timeout=300)

    def write(self, lines):
        path = os.path.join(self.scratch, "write.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + "\r\n".join(
                ["Windows Registry Editor Version 5.00", "", *lines, ""]).encode("utf-16-le"))
        wine("reg", "import", path)

    def export(self, keys):
        """reg export of each key: its bytes, or None when the key is missing."""
        folder = os.path.join(self.scratch, "wine-export")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        lines = ["@echo off"]
        for i, key in enumerate(keys):
            out = windows_path(os.path.join(folder, f"{i}.reg"))
            lines.append(f'reg export "{key}" "{out}" /y {VIEW} >nul 2>&1')
        batch = os.path.join(self.scratch, "export.bat")
        with open(batch, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        # The batch's status is that of its last line; what counts is which
        # files exist.
        subprocess.run([WINE, "cmd", "/c", windows_path(batch)], capture_output=True, timeout=300)
        result = {}
        for i, key in enumerate(keys):
            path = os.path.join(folder, f"{i}.reg")
            result[key] = read(path) if os.path.exists(path) else None
        return result


class WineEndToEndTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        start_wine()
        cls.scratch = tempfile.mkdtemp(prefix="tolvane-wine-e2e-")
        cls.registry = WineRegistry(cls.scratch)
        # The installed module files, so that the module group runs every
        # script.
        cls.suite = os.path.join(PREFIX, "drive_c", "Suite")
        cls.made_suite = not os.path.exists(cls.suite)
        cls.bin = os.path.join(cls.suite, "Bin")
        os.makedirs(cls.bin, exist_ok=True)
        for module in MODULES:
            open(os.path.join(cls.bin, module), "wb").close()
        # Every key the two groups write, from a dry run; what an interrupted
        # earlier run left behind goes first.
        hive = os.path.join(cls.scratch, "all.reg")
        for group in GROUPS:
            exe("--registry", hive, "register", group, DIRECTORY)
        cls.roots = written_roots(hive_keys(exe, hive))
        cls.registry.delete(cls.roots)

    @classmethod
    def tearDownClass(cls):
        cls.registry.delete(cls.roots)
        if cls.made_suite:
            shutil.rmtree(cls.suite, ignore_errors=True)
        else:
            for module in MODULES:
                os.remove(os.path.join(cls.bin, module))
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def tearDown(self):
        self.registry.delete(self.roots)

    def path(self, name):
        return os.path.join(self.scratch, name)

    def assert_wine_matches(self, keys, command, hive):
        """Wine's reg export of each key equals COMMAND's export from HIVE."""
        theirs = self.registry.export(keys)
        for key in keys:
            with self.subTest(key=key):
                ours = self.path("ours.reg")
                command("--registry", hive, "export", key, "--output", ours)
                self.assertIsNotNone(theirs[key], f"{key} is missing from Wine's registry")
                self.assertEqual(theirs[key], read(ours))

    def test_command_writes_the_system_registry_and_dry_runs_a_hive(self):
        names = exe("groups").stdout
        self.assertIn(b"\nZDW2008_FILE_EXT\n", names)
        self.assertNotIn(b"\r", names, "output is written as bytes, without CR")
        listed = json.loads(exe("--json", "groups").stdout)["groups"]
        self.assertEqual(listed, names.decode().splitlines())
        if PORTABLE:
            self.assertEqual(names, portable("groups").stdout)

        register = ["register", "ZDW2008_FILE_EXT", DIRECTORY]
        # A dry run on a new hive: everything is written to the file, and
        # Wine's registry does not get any of it.
        dry = self.path("dry.reg")
        planned = json.loads(exe("--json", "--registry", dry, *register).stdout)
        self.assertEqual(planned["result"], 0)
        self.assertEqual(planned["messages"], [])
        group_roots = written_roots(hive_keys(exe, dry))
        self.assertIn(CLASSES + ".zdw", group_roots)
        self.assertIn(CLASSES + "Zdw.Document.8", group_roots)
        self.assertEqual(set(self.registry.export(self.roots).values()), {None})

        # A dry run on the system registry reads it and writes nothing;
        # verify finds the group missing.
        before = self.registry.export(self.roots)
        preview = json.loads(exe("--json", "--dry-run", *register).stdout)
        self.assertEqual(self.registry.export(self.roots), before)
        self.assertTrue(preview["dry_run"])
        self.assertEqual(subprocess.run([WINE, EXE, "verify", *register[1:]], capture_output=True,
                                        timeout=300).returncode, 1)

        # The system registry: the same values are set, in the same order,
        # the shell is told once, and Wine holds what the dry run's hive holds.
        done = json.loads(exe("--json", *register).stdout)
        for field in ("result", "changes", "notifications"):
            self.assertEqual(preview[field], done[field], field)
        self.assertIn(b"registered", exe("verify", *register[1:]).stdout)
        self.assertEqual(done["result"], 0)
        self.assertEqual(done["notifications"], 1)
        self.assertEqual(done["messages"], [])

        def values(report):
            return [c for c in report["changes"] if c["op"] == "set-value"]

        self.assertEqual(values(done), values(planned))
        self.assertGreater(len(values(done)), 0)
        created = [c for c in done["changes"] if c["op"] == "create-key"]
        self.assertIn({"op": "create-key", "key": CLASSES + ".zdw"}, created)
        for change in created:
            self.assertIn(change, planned["changes"])
        self.assert_wine_matches(group_roots, exe, dry)
        # query and export read the system registry as they read the hive.
        for key in sorted(group_roots)[:3]:
            for command in (["export", key], ["--json", "query", key, "--recursive"]):
                with self.subTest(command=command):
                    self.assertEqual(exe(*command).stdout,
                                     exe("--registry", dry, *command).stdout)

        # Again: nothing left to change, nothing to tell the shell.
        again = json.loads(exe("--json", *register).stdout)
        self.assertEqual((again["result"], again["changes"], again["notifications"]), (0, [], 0))

        # A dry run now, on another new hive, reports what it reported on the
        # empty registry (it never reads the system registry) and leaves
        # every key of the system registry as it was.
        before = self.registry.export(self.roots)
        second = json.loads(exe("--json", "--registry", self.path("dry2.reg"), *register).stdout)
        self.assertEqual(second, planned)
        self.assertEqual(self.registry.export(self.roots), before)

    def test_library_takes_every_group_back_out_exactly(self):
        # Every group registered by tolvane.dll and unregistered again, last
        # first, beside the user's own entries in keys the suite writes to:
        # the classes root and the user's software keys are as they were.
        made = [m for m in OTHER_MODULES if not os.path.exists(os.path.join(self.bin, m))]
        for module in made:
            open(os.path.join(self.bin, module), "wb").close()
        whole = ["HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER\\Software"]
        # The user's FileExts key may be missing: what this test makes of it
        # goes again at the end.
        made_key = None
        for depth in range(3, FILE_EXTS.count("\\") + 2):
            key = "\\".join(FILE_EXTS.split("\\")[:depth])
            if subprocess.run([WINE, "reg", "query", key, VIEW], capture_output=True,
                              timeout=300).returncode != 0:
                made_key = key
                break
        try:
            self.registry.write([f"[{CLASSES}.zdw]", '"PerceivedType"="document"', "",
                                 f"[{FILE_EXTS}\\.zdw\\OpenWithList]", '"a"="Other.exe"'])
            before = self.registry.export(whole)
            groups = exe("groups").stdout.decode().split()
            for group in groups:
                self.assertEqual(wine(CALL_EXPORTS, "RegProduct", group, DIRECTORY).stdout.strip(),
                                 b"RegProduct returned 0", group)
            self.assertNotEqual(self.registry.export(whole), before)
            for group in reversed(groups):
                self.assertEqual(
                    wine(CALL_EXPORTS, "UnregProduct", group, DIRECTORY).stdout.strip(),
                    b"UnregProduct returned 0", group)
            after = self.registry.export(whole)
            for key in whole:
                self.assertIsNotNone(before[key], key)
                differences = export_differences(before[key], after[key])
                self.assertFalse(differences, key + "\n" + "\n".join(differences))
            # The command on the live registry: nothing is left to take back.
            for group in groups:
                again = json.loads(exe("--json", "unregister", group, DIRECTORY).stdout)
                self.assertEqual((again["result"], again["changes"], again["notifications"]),
                                 (0, [], 0), group)
        finally:
            for group in exe("groups").stdout.decode().split():
                run([WINE, CALL_EXPORTS, "UnregProduct", group, DIRECTORY], "cleanup")
            self.registry.delete([made_key or FILE_EXTS + "\\.zdw"])
            for module in made:
                os.remove(os.path.join(self.bin, module))

    def test_probe_library_answers_for_wines_administrator(self):
        # tolvane.exe loads tolvane-probe.dll from its own folder and calls
        # the export by name; Wine's default user holds Administrators.
        self.assertEqual(json.loads(exe("--json", "probe").stdout)["result"], 1)

    def test_library_registers_what_the_portable_build_writes(self):
        if not PORTABLE:
            self.skipTest("no portable tolvane command given")
        hive = self.path("portable.reg")
        drive = ["--drive", "C=" + os.path.join(PREFIX, "drive_c")]
        for group in GROUPS:
            self.assertEqual(wine(CALL_EXPORTS, "RegProduct", group, DIRECTORY).stdout.strip(),
                             b"RegProduct returned 0")
            portable("--registry", hive, *drive, "register", group, DIRECTORY)
        roots = written_roots(hive_keys(portable, hive))
        self.assertEqual(roots, self.roots)
        for key in ("Zdw.Document.8", ".zdw", "CLSID\\{5B0C2E11-7D3A-4C1E-9F2B-6A4D8E1C3F70}",
                    "CLSID\\{17D895A5-9465-4DA2-ADB4-7A6FC8224731}"):
            self.assertIn(CLASSES + key, roots)
        self.assert_wine_matches(roots, portable, hive)

    def test_hive_files_under_odd_names_attributes_and_writers(self):
        # Two spellings of one hive (a trailing dot on drive C, the Z: view
        # of the same folder), ten writers on each at once: one lock, every
        # value kept.
        folder = os.path.join(PREFIX, "drive_c", "tolvane-e2e")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        spellings = ("C:\\tolvane-e2e\\h.reg.", windows_path(os.path.join(folder, "h.reg")))
        writers = 10

        def write(spelling, first):
            for i in range(first, first + writers):
                value = os.path.join(folder, f"v{i}.reg")
                with open(value, "w") as f:
                    f.write(f"Windows Registry Editor Version 5.00\n\n[HKCU\\T]\n\"v{i}\"=\"x\"\n")
                exe("--registry", spelling, "import", windows_path(value))

        loops = [threading.Thread(target=write, args=(s, n * writers))
                 for n, s in enumerate(spellings)]
        for loop in loops:
            loop.start()
        for loop in loops:
            loop.join()
        kept = exe("--registry", spellings[1], "export").stdout.decode()
        self.assertEqual(sorted(l for l in kept.splitlines() if l.startswith('"v')),
                         sorted(f'"v{i}"="x"' for i in range(2 * writers)))
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted(["h.reg", "h.reg.lock"] + [f"v{i}.reg" for i in range(2 * writers)]))

        # A read-only hive is refused and left alone; a hidden system one
        # stays hidden and system.
        hive = os.path.join(folder, "h.reg")
        for flags, code in (("+h +s", 0), ("-h -s +r", 2)):
            with self.subTest(attrib=flags):
                for flag in flags.split():  # Wine's attrib takes one at a time
                    wine("cmd", "/c", f"attrib {flag} {windows_path(hive)}")
                before = read(hive)
                change = os.path.join(folder, "change.reg")
                with open(change, "w") as f:
                    f.write(f"Windows Registry Editor Version 5.00\n\n[HKCU\\T]\n@=\"{flags}\"\n")
                proc = subprocess.run([WINE, EXE, "--registry", windows_path(hive), "import",
                                       windows_path(change)],
                                      capture_output=True, timeout=300)
                self.assertEqual(proc.returncode, code, proc.stderr)
                shown = wine("cmd", "/c", f"attrib {windows_path(hive)}").stdout.decode()
                self.assertEqual(set(shown.split("Z:")[0]) - {" ", "A"},
                                 {"H", "S"} if code == 0 else {"R"})
                if code:
                    self.assertIn(b"read-only", proc.stderr)
                    self.assertEqual(read(hive), before)

    def test_library_loaded_and_freed_again_and_again_keeps_no_handle(self):
        # An installer loads and frees the library once per custom action.
        out = wine(CALL_EXPORTS, "cycles", "1000", "NO_SUCH_GROUP", DIRECTORY).stdout.split()
        self.assertEqual(out[0], b"handles")
        self.assertEqual(int(out[2]), int(out[1]), out)

    def test_failure_notice_waits_only_on_a_console(self):
        # stdin is a terminal (Wine gives the command a console) but stderr
        # is NUL: nobody could see the notice, so nothing waits for Enter.
        primary, secondary = pty.openpty()
        self.addCleanup(os.close, primary)
        out = self.path("notice-out.txt")
        with open(secondary, "rb", closefd=True) as terminal:
            proc = subprocess.run([WINE, "cmd", "/c", f"{windows_path(EXE)} register-is "
                                   f"C:\\Suite\\ 2>NUL >{windows_path(out)}"],
                                  stdin=terminal, stdout=terminal, stderr=terminal, timeout=60)
        self.assertEqual(proc.returncode, 1)
        self.assertIn(b"RegProductIS", read(out))

    def test_failure_notice_on_a_console_is_korean_text(self):
        # stderr is a console, which gets the notice through the wide call;
        # Wine's console on a terminal hands it on as UTF-8. stdin is not a
        # console, so nothing waits for Enter.
        primary, secondary = pty.openpty()
        self.addCleanup(os.close, primary)
        proc = subprocess.Popen([WINE, EXE, "--lang", "ko-KR", "register-is", "C:\\Suite\\"],
                                stdin=subprocess.DEVNULL, stdout=secondary, stderr=secondary)
        os.close(secondary)
        shown = b""
        for _ in range(120):  # until the process ends and its output is read
            if select.select([primary], [], [], 0.5)[0]:
                try:
                    shown += os.read(primary, 4096)
                    continue
                except OSError:
                    break
            if proc.poll() is not None:
                break
        self.assertEqual(proc.wait(timeout=60), 1)
        self.assertIn("프로그램 등록에 실패하였습니다.".encode(), shown)

    def test_odd_paths_and_arguments(self):
        folder = os.path.join(PREFIX, "drive_c", "tolvane-odd")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        self.addCleanup(shutil.rmtree, os.path.join(PREFIX, "drive_c", "drsub"), ignore_errors=True)
        hive = "C:\\tolvane-odd\\h.reg"
        change = windows_path(os.path.join(folder, "change.reg"))
        with open(os.path.join(folder, "change.reg"), "w") as f:
            f.write("Windows Registry Editor Version 5.00\n\n[HKCU\\T]\n@=\"x\"\n")
        # Long-path and device prefixes name the same hive.
        for name in ("tolvane-root.reg", "tolvane-root.reg.lock"):
            self.addCleanup(lambda p: os.path.exists(p) and os.remove(p),
                            os.path.join(PREFIX, "drive_c", name))
        for spelling in ("\\\\?\\" + hive, "\\\\.\\" + hive, "C:drsub\\foo.reg",
                         "C:\\tolvane-root.reg"):
            with self.subTest(path=spelling):
                exe("--registry", spelling, "import", change)
        self.assertIn('@="x"', read(os.path.join(folder, "h.reg")).decode("utf-16"))
        self.assertTrue(os.path.exists(os.path.join(PREFIX, "drive_c", "drsub", "foo.reg")))
        # What cannot work is refused with exit 2 and its own reason.
        for args, reason in (
                (["--registry", hive, "register", "ZDW2008_FILE_EXT", "C:\\Suite\\Bin\""],
                 b"cannot hold"),
                (["--registry", "AUX.reg", "import", change], b"AUX is a device name"),
                (["--registry", hive, "export", "--output", "C:\\tolvane-odd\\aux.reg"],
                 b"AUX is a device name"),
                (["--registry", hive + ":x", "import", change], b"names a stream"),
                (["--registry", "\\\\?\\" + hive + ":x", "export"], b"names a stream"),
                (["--drive", "C=/tmp", "groups"], b"--drive"),
                (["--codepage", "949", "groups"], b"--codepage")):
            with self.subTest(args=args):
                proc = subprocess.run([WINE, EXE, *args], capture_output=True, timeout=300)
                self.assertEqual(proc.returncode, 2, proc.stderr)
                self.assertIn(reason, proc.stderr)
        self.assertEqual(sorted(os.listdir(folder)), ["change.reg", "h.reg", "h.reg.lock"])

    def test_live_export_reads_past_what_it_cannot_read(self):
        # A key name one unit past the 255-unit limit, which Wine's registry
        # holds: the tree around it is read, and so is it.
        key = "HKCU\\Software\\TolvaneLong"
        long_name = "k" * 256
        batch = self.path("long.reg")
        with open(batch, "wb") as f:
            f.write(b"\xff\xfe" + (f"Windows Registry Editor Version 5.00\r\n\r\n"
                                   f"[HKEY_CURRENT_USER\\Software\\TolvaneLong\\{long_name}]\r\n"
                                   f"[HKEY_CURRENT_USER\\Software\\TolvaneLong\\Short]\r\n"
                                   ).encode("utf-16-le"))
        wine("reg", "import", windows_path(batch))
        self.addCleanup(self.registry.delete, ["HKEY_CURRENT_USER\\Software\\TolvaneLong"])
        listed = json.loads(exe("--json", "query", key, "--recursive").stdout)
        self.assertEqual([k["key"].rsplit("\\", 1)[1] for k in listed["keys"]],
                         ["TolvaneLong", long_name, "Short"])
        self.assertNotIn("unreadable", listed)
        self.assertIn(b"Short]", exe("export", key).stdout)


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        print(__doc__)
        sys.exit(2)
    WINE, EXE, CALL_EXPORTS = sys.argv[1:4]
    PORTABLE = sys.argv[4] if len(sys.argv) == 5 else None
    del sys.argv[1:]
    PREFIX = os.environ.get("WINEPREFIX")
    VIEW = registry_view(EXE)
    if not PREFIX or not os.path.isdir(PREFIX):
        print("WINEPREFIX must name a prepared Wine prefix")
        sys.exit(2)
    unittest.main(verbosity=2)
