#!/usr/bin/env python3
"""`tolvane dialog` in a terminal: driven inside a private tmux server with
send-keys, read back with capture-pane, and checked against the hive file.

Usage: terminal_assoc_dialog.py TOLVANE
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TOLVANE = None
LIST = ("Word processor=.zdw:Zdw.Document.8;.zdt:Zdw.Document.8;.zml:Zdw.Document.8"
        "|Spreadsheet=.tbx:Tabrix.Document.8;.tbt:Tabrix.Template.8")
SETUP = r'''Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\Zdw.Document.8\shell\open\command]
@="\"C:\\Suite\\Bin\\Zdw.exe\" \"%1\""

[HKEY_CLASSES_ROOT\Tabrix.Document.8\shell\open\command]
@="\"C:\\Suite\\Bin\\Tabrix.exe\" \"%1\""

[HKEY_CLASSES_ROOT\Other.Document\shell\open\command]
@="C:\\Other\\Other.exe"

[HKEY_CLASSES_ROOT\.zdw]
@="Zdw.Document.8"

[HKEY_CLASSES_ROOT\.zdt]
@="Other.Document"
'''
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", TERM="xterm-256color")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Session:
    """One tmux server (its own socket) running one command in an 80 x 25 pane."""

    def __init__(self, folder, command):
        self.socket = os.path.join(folder, "tmux.sock")
        self.rc = os.path.join(folder, "rc")
        script = os.path.join(folder, "run.sh")
        with open(script, "w") as f:
            f.write(f"{command} >{folder}/out 2>{folder}/err\necho $? >{self.rc}\nsleep 60\n")
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", "80", "-y", "25", "sh", script)

    def tmux(self, *args):
        return subprocess.run(["tmux", "-u", "-S", self.socket, *args], env=ENV, timeout=20,
                              stdin=subprocess.DEVNULL, capture_output=True, check=True
                              ).stdout.decode("utf-8")

    def screen(self):
        return self.tmux("capture-pane", "-p")

    def keys(self, *keys):
        for key in keys:
            self.tmux("send-keys", key)

    def wait(self, condition, what, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline:
            text = self.screen()
            if condition(text):
                return text
            time.sleep(0.05)
        raise AssertionError(f"{what}; screen:\n{self.screen()}")

    def exit_status(self, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if os.path.exists(self.rc) and read(self.rc).strip():
                return int(read(self.rc))
            time.sleep(0.05)
        raise AssertionError(f"the command did not end; screen:\n{self.screen()}")

    def close(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], env=ENV, timeout=20,
                       stdin=subprocess.DEVNULL, capture_output=True)


class TerminalDialog(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tolvane-dialog-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.hive = os.path.join(self.folder, "hive.reg")
        setup = os.path.join(self.folder, "setup.reg")
        with open(setup, "w") as f:
            f.write(SETUP)
        subprocess.run([TOLVANE, "--registry", self.hive, "import", setup], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=20)

    def session(self, lang):
        command = f"{TOLVANE} --registry {self.hive} --lang {lang} dialog '{LIST}'"
        s = Session(self.folder, command)
        self.addCleanup(s.close)
        return s

    def default_value(self, key):
        """Read from the hive file itself: the dialog holds the store's lock
        while it is open, so another command would wait for it."""
        with open(self.hive, "rb") as f:
            text = f.read().decode("utf-16")
        section = None
        for line in text.splitlines():
            if line.startswith("["):
                section = line
            elif section == f"[HKEY_CLASSES_ROOT\\{key}]" and line.startswith("@="):
                return line[2:].strip('"')
        return None

    def test_english_keys_apply_and_ok(self):
        s = self.session("en-US")
        text = s.wait(lambda t: "[x] .zdw" in t, "the dialog did not show")
        for label in ("Associated Program", "Program(P):", "Word processor", "OK(D)", "Cancel",
                      "Apply(A)", "File Extension To Link", "View Current Settings(C)",
                      "Select all file extensions without association(L)"):
            self.assertIn(label, text)
        row = next(line for line in text.splitlines() if "[x] .zdw" in line)
        # Four 88-pixel cells fit the area; each is 12 or 13 columns wide.
        self.assertEqual([row.index(b) for b in ("[x] .zdw", "[-] .zdt", "[ ] .zml")], [4, 17, 30])

        s.keys(*["Tab"] * 8)  # OK, Cancel, Apply, list, two buttons, then the boxes
        s.wait(lambda t: "아무 프로그램에도 연결하지 않은 .zml 확장자를" in t, "no status for .zml")
        s.keys("Space")
        s.wait(lambda t: "[x] .zml" in t, ".zml not checked")
        s.keys("BTab", "Space")
        s.wait(lambda t: "[x] .zdt" in t, ".zdt not checked")
        s.keys("Space")
        s.wait(lambda t: "[-] .zdt" in t, ".zdt did not go back to indeterminate")
        s.keys("a")  # Apply: written and saved at once, the dialog stays
        deadline = time.time() + 10
        while self.default_value(".zml") != "Zdw.Document.8" and time.time() < deadline:
            time.sleep(0.1)
        self.assertEqual(self.default_value(".zml"), "Zdw.Document.8")
        self.assertEqual(self.default_value(".zdt"), "Other.Document")

        s.keys("M-p", "Down")  # the program label's access key focuses the list
        text = s.wait(lambda t: "[ ] .tbx" in t and "Spreadsheet" in t, "no second program")
        self.assertNotIn(".zdw", text)
        s.keys("l")  # check every extension that opens with nothing
        s.wait(lambda t: "[x] .tbx" in t and "[x] .tbt" in t, "1004 checked nothing")
        s.keys("Enter")
        self.assertEqual(s.exit_status(), 0)
        self.assertEqual(self.default_value(".tbx"), "Tabrix.Document.8")
        self.assertIsNone(self.default_value(".tbt"))  # its class has no key: not written
        self.assertIn(b"association-changed notifications sent: 2",
                      read(os.path.join(self.folder, "out")))

    def test_korean_escape_cancels(self):
        before = read(self.hive)
        s = self.session("ko-KR")
        text = s.wait(lambda t: "[x] .zdw" in t, "the dialog did not show")
        for label in ("연결 프로그램", "프로그램(P):", "확인(D)", "취소", "적용(A)", "연결할 확장자",
                      "연결된 프로그램이 없는 모든 확장자를 선택(L)", "현재 설정보기(C)"):
            self.assertIn(label, text)
        s.keys("l")
        s.wait(lambda t: "[x] .zml" in t, "1004 checked nothing")
        s.keys("Escape")
        self.assertEqual(s.exit_status(), 0)
        self.assertEqual(read(self.hive), before)

    def test_signal_restores_the_terminal(self):
        s = self.session("en-US")
        s.wait(lambda t: "[x] .zdw" in t, "the dialog did not show")
        self.assertEqual(s.tmux("display", "-p", "#{alternate_on}").strip(), "1")
        shell = int(s.tmux("display", "-p", "#{pane_pid}"))
        child = subprocess.run(["pgrep", "-P", str(shell)], capture_output=True, timeout=20
                               ).stdout.split()[0]
        os.kill(int(child), signal.SIGTERM)
        self.assertEqual(s.exit_status(), 128 + signal.SIGTERM)
        self.assertEqual(s.tmux("display", "-p", "#{alternate_on} #{cursor_flag}").split(),
                         ["0", "1"])

    def test_without_a_terminal(self):
        before = read(self.hive)
        proc = subprocess.run([TOLVANE, "--registry", self.hive, "dialog", LIST],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                              start_new_session=True)  # no controlling terminal
        self.assertEqual(proc.returncode, 2)
        self.assertEqual(len(proc.stderr.decode().splitlines()), 1)
        self.assertEqual(read(self.hive), before)


if __name__ == "__main__":
    TOLVANE = os.path.abspath(sys.argv[1])
    unittest.main(argv=sys.argv[:1], verbosity=2)
