#!/usr/bin/env python3
"""The Windows ZIP archive, unpacked: it holds exactly what an installer
author needs, for x64 and x86 each, and its DLLs are Windows images of the
right processor. The probe's files are there for both processors or for
neither.

    windows_archive_test.py ARCHIVE.zip
"""
import struct
import sys
import tempfile
import unittest
import zipfile

ARCHIVE = sys.argv.pop(1) if len(sys.argv) > 1 else ""

# Per processor, relative to x64/ or x86/.
TREE = [
    "bin/tolvane.dll",
    "bin/tolvane.exe",
    "lib/libtolvane.dll.a",
    "lib/tolvane.def",
    "include/tolvane/tolvane.h",
    "lib/cmake/tolvane/tolvaneConfig.cmake",
    "lib/cmake/tolvane/tolvaneConfigVersion.cmake",
    "lib/cmake/tolvane/tolvaneTargets.cmake",
    "lib/cmake/tolvane/tolvaneTargets-release.cmake",
    "lib/pkgconfig/tolvane.pc",
]
PROBE = [
    "bin/tolvane-probe.dll",
    "lib/libtolvane-probe.dll.a",
    "lib/tolvane-probe.def",
    "include/tolvane/tolvane_probe.h",
    "lib/pkgconfig/tolvane-probe.pc",
]
MACHINE = {"x64": 0x8664, "x86": 0x14C}


def PeMachine(data):
    """The machine field of a PE image's file header."""
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[offset:offset + 4] == b"PE\0\0", "not a PE image"
    return struct.unpack_from("<H", data, offset + 4)[0]


class WindowsArchiveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip = zipfile.ZipFile(ARCHIVE)
        names = [n for n in cls.zip.namelist() if not n.endswith("/")]
        cls.top = names[0].split("/")[0]
        cls.files = {n[len(cls.top) + 1:] for n in names}

    def test_holds_the_readme_and_each_processors_tree_and_nothing_else(self):
        has_probe = any(f.endswith("tolvane-probe.dll") for f in self.files)
        per_arch = TREE + (PROBE if has_probe else [])
        expected = {"README-installers.md"}
        expected |= {f"{arch}/{path}" for arch in MACHINE for path in per_arch}
        self.assertTrue(self.top.startswith("tolvane-") and self.top.endswith("-windows"), self.top)
        self.assertEqual(sorted(self.files - expected), [], "unexpected files")
        self.assertEqual(sorted(expected - self.files), [], "missing files")

    def test_every_image_is_built_for_its_folders_processor(self):
        for name in self.files:
            if name.endswith((".dll", ".exe")):
                arch = name.split("/")[0]
                data = self.zip.read(f"{self.top}/{name}")
                self.assertEqual(PeMachine(data), MACHINE[arch], name)

    def test_the_readme_shows_every_export_from_each_kind_of_installer(self):
        readme = self.zip.read(f"{self.top}/README-installers.md").decode()
        for export in ["RegProduct", "UnregProduct", "ChangeFileExtAssociation",
                       "SendAssocChangedNotify",
                       "RegProductIS", "PopupFileAssocListDialog", "_RegProduct", "_RegKorvo",
                       "TolvaneAmIAdministrator"]:
            self.assertIn(f"`{export}`", readme)
        for section in ["custom action type 65", "Inno Setup", "NSIS", "GetProcAddress"]:
            self.assertIn(section, readme)

    def test_entries_carry_one_fixed_time_and_unpack_cleanly(self):
        times = {info.date_time for info in self.zip.infolist()}
        self.assertEqual(len(times), 1, times)
        with tempfile.TemporaryDirectory() as folder:
            self.zip.extractall(folder)
        self.assertIsNone(self.zip.testzip())


if __name__ == "__main__":
    unittest.main(verbosity=2)
