#!/usr/bin/env python3
"""`tolvane dialog` in a terminal: driven inside a private tmux server with
send-keys, read back with capture-pane, and checked against the hive file.

Usage: terminal_assoc_dialog.py TOLVANE
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata
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
# A loaded machine may take seconds to draw a screen: waits poll until this.
DEADLINE = 60

THIRTY = "Many=" + ";".join(f".e{i:02d}:Zdw.Document.8" for i in range(1, 31))
PROGRAMS = "|".join(f"P{i:02d}=.p{i}:Zdw.Document.8" for i in range(1, 31))
LONG = "Long=.abcdefghijklmnopqrs:Zdw.Document.8;.zdw:Zdw.Document.8"  # 20 characters
GROUP = {"en-US": "File Extension To Link", "ko-KR": "연결할 확장자"}
LOWER = {"en-US": ("Select all file extensions without association(L)", "View Current Settings(C)"),
         "ko-KR": ("연결된 프로그램이 없는 모든 확장자를 선택(L)", "현재 설정보기(C)")}
ASSOCIATE_UNOWNED = "아무 프로그램에도 연결하지 않은 {} 확장자를"

# Screens: terminal size, language, program list, what is done (keys, a
# mouse click on a text, a resize, a text to wait for), then what the last
# screen shows and does not show (its lines joined), and what the hive holds.
SCREENS = [
    ("30 boxes, 5 rows in sight", (80, 24), "en-US", THIRTY, [],
     ["[ ] .e01", "[ ] .e20", "\u25bc 10 more"], [".e21"], {}),
    ("30 boxes, the focus on the last", (80, 24), "en-US", THIRTY, [("keys", *["Tab"] * 6, "End")],
     ["[ ] .e13", "[ ] .e30", "\u25b2 12 more", ASSOCIATE_UNOWNED.format(".e30")], [".e12"], {}),
    ("30 boxes, all in sight", (120, 40), "en-US", THIRTY, [],
     ["[ ] .e01", "[ ] .e30"], ["more"], {}),
    ("a 20-character extension, cut", (80, 24), "en-US", LONG, [("keys", *["Tab"] * 6)],
     ["[ ] .abcdefgh\u2026", ASSOCIATE_UNOWNED.format(".abcdefghijklmnopqrs")], [], {}),
    ("a 20-character extension, whole", (120, 40), "en-US", LONG, [],
     ["[ ] .abcdefghijklmnopqrs [x] .zdw"], ["\u2026"], {}),
    ("F4 opens the list", (80, 24), "en-US", LIST,
     [("keys", "F4"), ("see", ">Word processor", "Choose"), ("keys", "Down", "Enter")],
     ["[ ] .tbx", "Spreadsheet"], [".zdw", "Choose"], {}),
    ("Alt+Down opens the list", (120, 40), "en-US", LIST,
     [("keys", "M-Down"), ("see", ">Word processor"), ("keys", "Down", "Space")],
     ["[ ] .tbx"], [".zdw", "Choose"], {}),
    ("the mouse opens the list and chooses", (80, 24), "en-US", LIST,
     [("click", "Word processor"), ("see", ">Word processor"), ("click", "Spreadsheet")],
     ["[ ] .tbx"], [".zdw"], {}),
    ("the mouse cycles a box and presses Apply", (80, 24), "en-US", LIST,
     [("click", ".zml"), ("see", "[x] .zml", ASSOCIATE_UNOWNED.format(".zml")),
      ("click", "Apply(A)")],
     ["[x] .zml"], [], {".zml": "Zdw.Document.8"}),
    ("resized while open", (80, 24), "en-US", LIST,
     [("resize", 70, 20), ("see", "at least 80 x 24; this one is 70 x 20"), ("resize", 120, 40)],
     ["[x] .zdw", "OK(D)"], ["at least"], {}),
    ("the open list scrolled, then the terminal enlarged", (80, 24), "en-US", PROGRAMS,
     [("keys", "F4", "End"), ("see", ">P30"), ("resize", 120, 40), ("see", ">P30", "P01"),
      ("keys", "Escape")],
     ["[ ] .p1"], ["\u2191\u2193 "], {}),
    ("Korean", (80, 24), "ko-KR", LIST, [("keys", *["Tab"] * 8)],
     ["[x] .zdw [-] .zdt [ ] .zml", "Tab 다음", ASSOCIATE_UNOWNED.format(".zml")], [], {}),
    ("Korean, the list open", (120, 40), "ko-KR", THIRTY, [("keys", "F4")],
     [">Many", "[ ] .e30", "고르기"], [], {}),
    ("Korean, too small", (60, 20), "ko-KR", LIST, [],
     ["80 x 24 이상의 터미널이 필요합니다. 지금은 60 x 20입니다."], ["[x]"], {}),
]


def cells(text):
    """The columns text takes on the terminal."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Session:
    """One tmux server (its own socket) running one command in a pane of
    width x height."""

    def __init__(self, folder, command, width=80, height=25):
        self.socket = os.path.join(folder, "tmux.sock")
        self.rc = os.path.join(folder, "rc")
        script = os.path.join(folder, "run.sh")
        with open(script, "w") as f:
            f.write(f"{command} >{folder}/out 2>{folder}/err\necho $? >{self.rc}\nsleep 60\n")
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(width), "-y", str(height),
                  "sh", script)

    def tmux(self, *args):
        return subprocess.run(["tmux", "-u", "-S", self.socket, *args], env=ENV, timeout=20,
                              stdin=subprocess.DEVNULL, capture_output=True, check=True
                              ).stdout.decode("utf-8")

    def screen(self):
        return self.tmux("capture-pane", "-p")

    def keys(self, *keys):
        for key in keys:
            self.tmux("send-keys", key)

    def click(self, text, button=0):
        """A mouse press and release on the first cell of text (X10 encoding,
        as the pane's terminal description asks for)."""
        for row, line in enumerate(self.screen().splitlines()):
            if text in line:
                col = cells(line[:line.index(text)])
                for b in (button, 3):
                    self.tmux("send-keys", "-H", *(f"{c:02x}" for c in
                                                   (27, 91, 77, 32 + b, 33 + col, 33 + row)))
                return
        raise AssertionError(f"{text} is not on the screen:\n{self.screen()}")

    def wait(self, condition, what, timeout=DEADLINE):
        deadline = time.time() + timeout
        while time.time() < deadline:
            text = self.screen()
            if condition(text):
                return text
            time.sleep(0.05)
        raise AssertionError(f"{what}; screen:\n{self.screen()}")

    def exit_status(self, timeout=DEADLINE):
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

    def session(self, lang, options=""):
        command = f"{TOLVANE} --registry {self.hive} {options} --lang {lang} dialog '{LIST}'"
        s = Session(self.folder, command)
        self.addCleanup(s.close)
        return s

    def default_value(self, key, hive=None):
        """Read from the hive file itself: the dialog holds the store's lock
        while it is open, so another command would wait for it."""
        with open(hive or self.hive, "rb") as f:
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
        labels = ("Associated Program", "Program(P):", "Word processor", "OK(D)", "Cancel",
                  "Apply(A)", "File Extension To Link", "View Current Settings(C)",
                  "Select all file extensions without association(L)", "[x] .zdw")
        text = s.wait(lambda t: all(label in t for label in labels), "the dialog did not show")
        for label in labels:
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
        deadline = time.time() + DEADLINE
        while self.default_value(".zml") != "Zdw.Document.8" and time.time() < deadline:
            time.sleep(0.1)
        self.assertEqual(self.default_value(".zml"), "Zdw.Document.8")
        self.assertEqual(self.default_value(".zdt"), "Other.Document")

        s.keys("M-p", "Down")  # the program label's access key focuses the list
        text = s.wait(lambda t: "[ ] .tbx" in t and "Spreadsheet" in t and ".zdw" not in t,
                      "no second program")
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
        labels = ("연결 프로그램", "프로그램(P):", "확인(D)", "취소", "적용(A)", "연결할 확장자",
                  "연결된 프로그램이 없는 모든 확장자를 선택(L)", "현재 설정보기(C)", "[x] .zdw")
        text = s.wait(lambda t: all(label in t for label in labels), "the dialog did not show")
        for label in labels:
            self.assertIn(label, text)
        s.keys("l")
        s.wait(lambda t: "[x] .zml" in t, "1004 checked nothing")
        s.keys("Escape")
        self.assertEqual(s.exit_status(), 0)
        self.assertEqual(read(self.hive), before)

    def test_dry_run_reports_and_writes_nothing(self):
        before = read(self.hive)
        s = self.session("en-US", "--dry-run")
        s.wait(lambda t: "[x] .zdw" in t, "the dialog did not show")
        s.keys("l", "a")  # check the unassociated extensions, Apply
        s.wait(lambda t: "[x] .zml" in t, "1004 checked nothing")
        s.keys("Enter")
        self.assertEqual(s.exit_status(), 0)
        self.assertEqual(read(self.hive), before)
        out = read(os.path.join(self.folder, "out"))
        self.assertIn(b"dry run, nothing written", out)
        self.assertIn(b".zml", out)

    def test_signal_restores_the_terminal(self):
        s = self.session("en-US")
        s.wait(lambda t: "[x] .zdw" in t, "the dialog did not show")
        self.assertEqual(s.tmux("display", "-p", "#{alternate_on}").strip(), "1")
        shell = int(s.tmux("display", "-p", "#{pane_pid}"))
        child = subprocess.run(["pgrep", "-P", str(shell)], capture_output=True, timeout=20
                               ).stdout.split()[0]
        os.kill(int(child), signal.SIGTERM)
        self.assertEqual(s.exit_status(), 128 + signal.SIGTERM)
        # tmux reads what the command wrote on its way out in its own time.
        flags = lambda: s.tmux("display", "-p", "#{alternate_on} #{cursor_flag}").split()
        deadline = time.time() + DEADLINE
        while flags() != ["0", "1"] and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(flags(), ["0", "1"])

    def assertWhole(self, text, size, lang):
        """Nothing runs past the right edge; the boxes stay inside their frame,
        in columns of one width; the lower buttons, the status line and the
        key line keep their rows below it."""
        lines = text.splitlines()
        self.assertTrue(all(cells(line) <= size[0] for line in lines), text)
        bottom = next(i for i, line in enumerate(lines) if line.lstrip().startswith("\u2514"))
        left = cells(lines[bottom][:lines[bottom].index("\u2514")])
        top = max(i for i, line in enumerate(lines[:bottom])
                  if "\u250c" in line and cells(line[:line.index("\u250c")]) == left)
        marks = [(i, cells(line[:m.start()])) for i, line in enumerate(lines)
                 for m in re.finditer(r"\[[x ]\] \.|\[-\] \.", line)]
        self.assertTrue(all(top < i < bottom for i, _ in marks), text)
        columns = sorted({c for _, c in marks})
        self.assertEqual(len({b - a for a, b in zip(columns, columns[1:])}) <= 1, True, text)
        self.assertEqual(columns[0], left + 2, text)
        lower = next(i for i, line in enumerate(lines) if LOWER[lang][1] in line)
        self.assertTrue(re.search(re.escape(LOWER[lang][0]) + r" ?[>\]] +[<\[] ?" +
                                  re.escape(LOWER[lang][1]), lines[lower]), text)
        self.assertGreater(lower, bottom)
        self.assertTrue(re.match(r"(Tab|\u2191\u2193) ", lines[size[1] - 1]), text)

    def test_screens(self):
        for n, (name, size, lang, programs, steps, shown, hidden, hive) in enumerate(SCREENS):
            with self.subTest(name, size=size, lang=lang):
                folder = os.path.join(self.folder, str(n))  # a tmux server and hive of its own
                os.mkdir(folder)
                hive_file = shutil.copy(self.hive, folder)
                s = Session(folder, f"{TOLVANE} --registry {hive_file} --lang {lang} "
                                         f"dialog '{programs}'", *size)
                try:
                    s.wait(lambda t: "[" in t or "24" in t, "the dialog did not show")
                    for step, *args in steps:
                        if step == "keys":
                            s.keys(*args)
                        elif step == "click":
                            s.wait(lambda t: args[0] in t, f"no {args[0]} to click")
                            s.click(args[0])
                        elif step == "resize":
                            s.tmux("resize-window", "-x", str(args[0]), "-y", str(args[1]))
                            size = tuple(args)
                        else:
                            s.wait(lambda t: all(a in " ".join(t.split()) for a in args),
                                   f"no {args}")
                    joined = lambda t: " ".join(t.split())
                    text = s.wait(lambda t: all(a in joined(t) for a in shown) and
                                  not any(a in joined(t) for a in hidden), f"{shown} / {hidden}")
                    if size[0] >= 80 and size[1] >= 24:
                        self.assertWhole(text, size, lang)
                    for key, value in hive.items():
                        deadline = time.time() + DEADLINE
                        while (self.default_value(key, hive_file) != value and
                               time.time() < deadline):
                            time.sleep(0.1)
                        self.assertEqual(self.default_value(key, hive_file), value)
                    if "\u2191\u2193 " in text:  # the list's keys: Escape closes it first
                        s.keys("Escape")
                        s.wait(lambda t: "\u2191\u2193 " not in t, "the list did not close")
                    s.keys("Escape")
                    self.assertEqual(s.exit_status(), 0)
                finally:
                    s.close()

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
