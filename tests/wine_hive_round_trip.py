#!/usr/bin/env python3
"""Hive files of the tolvane command against Wine's own reg.exe.

A hive the command writes must import with `reg import` and come back from
`reg export` as the same keys and values; a file `reg export` wrote must load
into a hive unchanged.

Usage: wine_hive_round_trip.py PATH-TO-TOLVANE SAMPLES-DIR WINEPREFIX
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

TOLVANE = SAMPLES = PREFIX = None
WINE = shutil.which("wine") or shutil.which("wine64")
WINESERVER = shutil.which("wineserver")


def start_wine():
    """Keeps one Wine server and its system processes running for the whole
    run, started with their output on /dev/null: they inherit the
    descriptors of the program that starts them, and a later program's
    captured output would otherwise stay open until they exit."""
    env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all")
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL, env=env, timeout=300)
    if WINESERVER:
        subprocess.run([WINESERVER, "-p10"], **quiet)
    subprocess.run([WINE, "reg", "query", "HKCU"], **quiet)


def wine(*args):
    env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all")
    proc = subprocess.run([WINE, *args], capture_output=True, env=env, timeout=300)
    if proc.returncode != 0:
        raise AssertionError(f"wine {args}: exit {proc.returncode}: {proc.stderr[-400:]!r}")
    return proc


def tolvane(*args):
    proc = subprocess.run([TOLVANE, *args], capture_output=True)
    if proc.returncode != 0:
        raise AssertionError(f"tolvane {args}: exit {proc.returncode}: {proc.stderr!r}")
    return proc


def read(path):
    with open(path, "rb") as f:
        return f.read()


class WineRoundTripTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tolvane-wine-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_samples_exported_by_reg_load_and_save_unchanged(self):
        # The samples are reg export output: loading one into a hive and
        # exporting it again must give the very same bytes, and so must
        # Wine's own export after importing what the command wrote.
        keys = {"types-and-subkeys.reg": "HKCU\\Software\\Fixture\\Types",
                "strings-and-names.reg": "HKCU\\Software\\Fixture\\Strings",
                "hex-line-wrap.reg": "HKCU\\Software\\Fixture\\Wrap"}
        for sample, key in keys.items():
            with self.subTest(sample=sample):
                hive = self.path(sample + ".hive")
                written = self.path(sample + ".written.reg")
                tolvane("--registry", hive, "import", os.path.join(SAMPLES, sample))
                tolvane("--registry", hive, "export", key, "--output", written)
                self.assertEqual(read(written), read(os.path.join(SAMPLES, sample)))

                if self.key_exists(key):
                    wine("reg", "delete", key, "/f")
                wine("reg", "import", written)
                exported = self.path(sample + ".wine.reg")
                wine("reg", "export", key, exported, "/y")
                self.assertEqual(read(exported), read(written))
                wine("reg", "delete", key, "/f")

    def key_exists(self, key):
        env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all")
        return subprocess.run([WINE, "reg", "query", key], capture_output=True,
                              env=env).returncode == 0

    def test_registered_classes_import_into_wine_unchanged(self):
        hive = self.path("suite.hive")
        tolvane("--registry", hive, "register", "ZDW2008_FILE_EXT", "C:\\Suite\\Bin\\")
        for key in ("HKEY_CLASSES_ROOT\\Zdw.Document.8", "HKEY_CLASSES_ROOT\\.zdw",
                    "HKEY_CLASSES_ROOT\\MIME\\Database\\Content Type\\application/zdw"):
            with self.subTest(key=key):
                ours = self.path("ours.reg")
                theirs = self.path("theirs.reg")
                tolvane("--registry", hive, "export", key, "--output", ours)
                wine("reg", "import", ours)
                wine("reg", "export", key, theirs, "/y")
                self.assertEqual(read(theirs), read(ours))
                wine("reg", "delete", key, "/f")


if __name__ == "__main__":
    TOLVANE, SAMPLES, PREFIX = sys.argv[1:4]
    del sys.argv[1:4]
    if WINE is None:
        print("wine is not installed")
        sys.exit(1)
    # A new prefix: one an earlier Wine installation made may not load.
    shutil.rmtree(PREFIX, ignore_errors=True)
    os.makedirs(PREFIX)
    start_wine()
    unittest.main(verbosity=2)
