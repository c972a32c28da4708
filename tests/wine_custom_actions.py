#!/usr/bin/env python3
"""The custom actions of the real tolvane.dll under Wine's msiexec.

Builds an installation package with wixl (five features, folder properties,
_RegKorvo and _RegProduct after InstallFinalize), installs it with
msiexec /i ... /qn on a Korean user interface inside an Xvfb server it
starts, photographs the failure message box (Wine draws the caption itself
on a virtual desktop), dismisses it with xdotool and checks the installer's
outcome and the registry. A second installation with no feature selected
must finish without any message box. The Windows command runs the same
entry points and reports the notice instead of showing a box.

Usage: wine_custom_actions.py WINE tolvane.dll GrafoChart.ocx PACKAGE.wxs WORKDIR tolvane.exe
"""
import json
import os
import shutil
import subprocess
import sys
import time
import unittest

WINE = DLL = GRAFO = WXS = WORK = EXE = None
WINESERVER = shutil.which("wineserver")
ERROR_INSTALL_FAILURE = 1603
HOST_EXE = "C:\\windows\\system32\\msiexec.exe"
DESKTOP_KEY = "HKCU\\Software\\Wine\\Explorer"
KORVO_KEY = "HKCR\\KORVOX.KorvoXCtrl.1"
MARKER_KEY = "HKCU\\Software\\TolvaneTest"
STEP_TIMEOUT = 120


def quiet(command, timeout=STEP_TIMEOUT, env=None):
    """Runs a command with its output in a file (Wine's system processes
    inherit descriptors, so a pipe could stay open); returns code, output."""
    with open(os.path.join(WORK, "command.out"), "w+b") as out:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=timeout, env=env).returncode
        out.seek(0)
        return code, out.read().decode("utf-8", "replace")


def pe_arch(path):
    """The package architecture (wixl's -a) for the processor of a PE file:
    a 32-bit library needs a 32-bit package and installer."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    machine = int.from_bytes(head[pe + 4:pe + 6], "little")
    return {0x14C: "x86", 0x8664: "x64"}[machine]


def windows(name, env):
    code, out = quiet(["xdotool", "search", "--name", name], timeout=20, env=env)
    return out.split() if code == 0 else []


class Xvfb:
    def __enter__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp"], pass_fds=(write,),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            self.display = ":" + pipe.readline().strip()
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=30)


class MsiexecTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)  # no screenshot of an earlier run survives
        os.makedirs(WORK)
        for source, name in ((DLL, "tolvane.dll"), (GRAFO, "GrafoChart.ocx"),
                             (WXS, "custom_actions.wxs")):
            shutil.copy(source, os.path.join(WORK, name))
        with open(os.path.join(WORK, "readme.txt"), "w") as f:
            f.write("a file of the test installation\n")
        arch = pe_arch(DLL)
        code, out = quiet(["wixl", "-a", arch, "-D", "Arch=" + arch, "-o",
                           os.path.join(WORK, "suite.msi"), os.path.join(WORK, "custom_actions.wxs")])
        if code != 0:
            raise AssertionError("wixl: " + out)
        cls.package = "Z:" + os.path.join(WORK, "suite.msi").replace("/", "\\")

    def wine_env(self, display):
        env = dict(os.environ, DISPLAY=display, LANG="ko_KR.UTF-8", LC_ALL="ko_KR.UTF-8")
        return env

    def reg(self, env, *args):
        return quiet([WINE, "reg", *args], env=env)

    def install(self, env, *properties, expect_box):
        """Runs msiexec; photographs and confirms each message box. Returns
        the exit status and the window names of the boxes."""
        log = os.path.join(WORK, "install.log")
        with open(os.path.join(WORK, "msiexec.out"), "wb") as out:
            proc = subprocess.Popen([WINE, "msiexec", "/i", self.package, "/qn", "/l*v", log,
                                     *properties], stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=out, env=env)
        boxes = []
        deadline = time.monotonic() + STEP_TIMEOUT
        try:
            while proc.poll() is None:
                if time.monotonic() > deadline:
                    raise AssertionError("msiexec did not finish in time")
                for window in windows("msiexec.exe$", env):
                    code, name = quiet(["xdotool", "getwindowname", window], timeout=20, env=env)
                    if code != 0:
                        continue
                    boxes.append(name.strip())
                    if expect_box and len(boxes) == 1:
                        time.sleep(1)  # let the box paint
                        shot = os.path.join(WORK, "failure-message-ko.png")
                        quiet(["import", "-window", "root", shot], timeout=30, env=env)
                        print("screenshot of the Korean failure message:", shot, flush=True)
                    quiet(["xdotool", "key", "--window", window, "Return"], timeout=20, env=env)
                    time.sleep(1)
                time.sleep(0.5)
        finally:
            if proc.poll() is None:
                proc.kill()
        return proc.wait(timeout=30), boxes

    def test_install_under_msiexec(self):
        with Xvfb() as x:
            env = self.wine_env(x.display)
            if WINESERVER:  # a server started without this display ends first
                quiet([WINESERVER, "-w"], env=env)
            self.reg(env, "delete", KORVO_KEY, "/f")
            self.reg(env, "delete", MARKER_KEY, "/f")
            # A virtual desktop, on which Wine draws window captions itself.
            self.reg(env, "add", DESKTOP_KEY, "/v", "Desktop", "/d", "TolvaneShot", "/f")
            self.reg(env, "add", DESKTOP_KEY + "\\Desktops", "/v", "TolvaneShot", "/d",
                     "800x600", "/f")
            try:
                # Every feature acts: _RegKorvo registers KORVOX.OCX from its
                # folder; _RegProduct's common group is not in the catalogue,
                # so it shows the message once and fails the installation.
                code, boxes = self.install(env, expect_box=True)
                self.assertEqual(boxes, [HOST_EXE])
                self.assertEqual(code & 0xFF, ERROR_INSTALL_FAILURE & 0xFF)
                code, out = self.reg(env, "query", KORVO_KEY)
                self.assertEqual(code, 0, out)
                self.assertIn("KorvoX Control", out)
                # It stops before the chart module registers itself.
                self.assertNotEqual(self.reg(env, "query", MARKER_KEY)[0], 0)
                shot = os.path.join(WORK, "failure-message-ko.png")
                self.assertGreater(os.path.getsize(shot), 1000)
                # The verbose log names the group that failed and why.
                with open(os.path.join(WORK, "install.log"), "rb") as f:
                    log = f.read()
                log = log.decode("utf-16" if log.count(b"\0") > len(log) // 4 else "utf-8", "replace")
                self.assertIn("_RegProduct: no group named COMMON2007_MODULE (the groups are: ", log)

                # No feature selected: no action, no message, success.
                code, boxes = self.install(env, "INSTALLLEVEL=0", expect_box=False)
                self.assertEqual(boxes, [])
                self.assertEqual(code, 0)
                code, out = quiet([WINE, "msiexec", "/x", self.package, "/qn"], env=env)
                self.assertEqual(code, 0, out)
            finally:
                self.reg(env, "delete", DESKTOP_KEY, "/v", "Desktop", "/f")
                if WINESERVER:
                    quiet([WINESERVER, "-w"], env=env)

    def test_windows_command_reports_the_notice(self):
        korean = "프로그램 등록에 실패하였습니다."
        hive = "Z:" + os.path.join(WORK, "dry-run.reg").replace("/", "\\")
        env = dict(os.environ, LANG="C", LC_ALL="C")
        env.pop("DISPLAY", None)
        for options, command, result, messages in (
                (["--lang", "ko-KR"], ["register-is", "C:\\Suite\\"], 0, [korean]),
                ([], ["custom-action", "_RegProduct", "--feature", "Postra=local"], 1,
                 ["Failed to register the program."]),
                ([], ["custom-action", "_RegProduct"], 0, [])):
            with open(os.path.join(WORK, "command.json"), "w+b") as out:
                code = subprocess.run([WINE, EXE, "--registry", hive, "--json", *options,
                                       *command], stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.DEVNULL, timeout=STEP_TIMEOUT,
                                      env=env).returncode
                out.seek(0)
                report = json.loads(out.read().decode("utf-8"))
            self.assertEqual(code, 1 if messages else 0, command)
            self.assertEqual(report["result"], result, command)
            self.assertEqual(report["messages"], messages, command)
            self.assertEqual(report["changes"], [], command)


if __name__ == "__main__":
    WINE, DLL, GRAFO, WXS, WORK, EXE = sys.argv[1:7]
    del sys.argv[1:7]
    unittest.main(verbosity=2)
