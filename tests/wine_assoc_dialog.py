#!/usr/bin/env python3
"""The association dialog of the real tolvane.dll, under Wine on a private
Xvfb display, in English and in Korean.

assoc_dialog_driver.exe calls the export and reports what the window API
sees (ids, classes, texts, styles, rectangles, check states, focus); the
test compares that with template 118, drives the dialog with xdotool as a
user would (mouse on boxes, program list, Apply, OK, Cancel) and reads
Wine's registry afterwards. Screenshots of both languages are kept in the
output folder; their paths are printed.

Usage: wine_assoc_dialog.py WINE DRIVER_EXE OUTDIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

WINE = DRIVER = OUTDIR = None
ENV = {}
XVFB = None

LIST = ("Word processor=.zdw:Zdw.Document.8;.zdt:Zdw.Document.8;.zml:Zdw.Document.8"
        "|Spreadsheet=.tbx:Tabrix.Document.8;.tbt:Tabrix.Template.8")
CLASSES = {"Zdw.Document.8": "Zdw.exe", "Tabrix.Document.8": "Tabrix.exe",
           "Other.Document": "Other.exe"}
TOUCHED = (".zdw", ".zdt", ".zml", ".tbx", ".tbt")

BS_3STATE, BS_NOTIFY = 0x5, 0x4000
WS_CHILD, WS_VISIBLE, WS_TABSTOP = 0x40000000, 0x10000000, 0x10000

# Template 118 in template order: id, class, English text, Korean text,
# dialog-unit rectangle (x, y, width, height).
TEMPLATE = [
    (1, "Button", "OK(&D)", "확인(&D)", (226, 6, 46, 19)),
    (2, "Button", "Cancel", "취소", (226, 28, 46, 19)),
    (1001, "Button", "Apply(&A)", "적용(&A)", (226, 50, 46, 19)),
    (-1, "Static", "Program(&P):", "프로그램(&P):", (7, 8, 41, 8)),
    (1011, "ComboBox", None, None, (51, 6, 170, 172)),
    (1004, "Button", "Select all file extensions without association(&L)",
     "연결된 프로그램이 없는 모든 확장자를 선택(&L)", (7, 123, 180, 19)),
    (1005, "Button", "View Current Settings(&C)", "현재 설정보기(&C)", (188, 123, 85, 19)),
    (1100, "Button", ".", ".", (18, 41, 44, 16)),
    (1008, "Button", "File Extension To Link", "연결할 확장자", (7, 26, 214, 91)),
    (1009, "Static", "", "", (7, 151, 265, 30)),
]

UNOWNED = "아무 프로그램에도 연결하지 않은 {} 확장자를 {}({})에 연결합니다."


def mul_div(a, b, c):
    return (a * b + c // 2) // c


def run(args, timeout=120, check=True, extra_env=None):
    """Runs a program with its output in files (Wine's server inherits
    descriptors, so a pipe could stay open)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        env = dict(ENV, **(extra_env or {}))
        proc = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              env=env, timeout=timeout)
        out.seek(0)
        err.seek(0)
        text = out.read().decode("utf-8", "replace")
        if check and proc.returncode != 0:
            raise AssertionError(f"{args}: exit {proc.returncode}: {err.read()[-400:]!r}")
        return text


def reg_default(key):
    """The default value of a classes-root key, or None when it is missing."""
    text = run([WINE, "reg", "query", "HKCR\\" + key, "/ve"], check=False)
    for line in text.splitlines():
        parts = line.split("REG_SZ")
        if len(parts) == 2:
            return parts[1].strip()
    return None


def start_display():
    global XVFB
    number = next(n for n in range(90, 300)
                  if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))
    XVFB = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        if time.time() > deadline or XVFB.poll() is not None:
            raise RuntimeError("Xvfb did not start")
        time.sleep(0.1)
    ENV["DISPLAY"] = f":{number}"


class Dialog:
    """One run of the driver: the dialog it opened and what it reports."""

    def __init__(self, name, language, program_list):
        self.dump = os.path.join(OUTDIR, f"assoc-dialog-{name}.json")
        self.last_click = 0
        for path in (self.dump, self.dump + ".result"):
            if os.path.exists(path):
                os.remove(path)
        locale = {"en": "en_US.UTF-8", "ko": "ko_KR.UTF-8"}[language]
        env = dict(ENV, LANG=locale, LC_ALL=locale)
        self.log = open(os.path.join(OUTDIR, f"assoc-dialog-{name}.log"), "wb")
        self.proc = subprocess.Popen(
            [WINE, DRIVER, "Z:" + self.dump.replace("/", "\\"), program_list],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, env=env)
        self.state = self.wait(lambda s: s is not None, "the dialog did not open")

    def read(self):
        try:
            with open(self.dump, encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def wait(self, condition, what, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            state = self.read()
            if condition(state):
                self.state = state
                return state
            time.sleep(0.1)
        raise AssertionError(f"{what}; last state: {json.dumps(self.read())[:800]}")

    def control(self, id_, state=None):
        return next(c for c in (state or self.state)["controls"] if c["id"] == id_)

    def click(self, id_):
        left, top, right, bottom = self.control(id_)["rect"]
        x = self.state["origin"][0] + (left + right) // 2
        y = self.state["origin"][1] + (top + bottom) // 2
        # Two clicks within the double-click time would be one double click.
        time.sleep(max(0, self.last_click + 0.7 - time.time()))
        run(["xdotool", "mousemove", str(x), str(y), "click", "1"])
        self.last_click = time.time()

    def key(self, *keys):
        run(["xdotool", "key", *keys])

    def screenshot(self, name):
        x, y = self.state["origin"]
        box = self.control(1009)["rect"]
        path = os.path.join(OUTDIR, name)
        run(["import", "-window", "root", "-crop",
             f"{box[2] + 20}x{box[3] + 12}+{x}+{y}", "+repage", path])
        print(f"screenshot: {path}", flush=True)
        return path

    def close(self):
        """Ends a driver that a failed test left running."""
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=30)
        if not self.log.closed:
            self.log.close()

    def finish(self):
        result_path = self.dump + ".result"
        deadline = time.time() + 30
        while not os.path.exists(result_path) and time.time() < deadline:
            time.sleep(0.1)
        self.proc.wait(timeout=30)
        self.close()
        with open(result_path) as f:
            return f.read()


class AssocDialogUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        start_display()
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, timeout=120, env=ENV)
        wineserver = shutil.which("wineserver")
        if wineserver:
            subprocess.run([wineserver, "-k"], **quiet)
            subprocess.run([wineserver, "-p30"], **quiet)
        run([WINE, "wineboot", "--init"], timeout=300)
        drive = os.path.join(ENV["WINEPREFIX"], "drive_c", "Suite", "Bin")
        os.makedirs(drive, exist_ok=True)
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key in TOUCHED + tuple(CLASSES):
            lines.append(f"[-HKEY_CLASSES_ROOT\\{key}]")
        for prog_id, exe in CLASSES.items():
            open(os.path.join(drive, exe), "wb").close()
            lines.append(f"[HKEY_CLASSES_ROOT\\{prog_id}\\shell\\open\\command]")
            lines.append(f'@="\\"C:\\\\Suite\\\\Bin\\\\{exe}\\" \\"%1\\""')
        # .zdw opens with the word processor already, .zdt with another program.
        lines += ["[HKEY_CLASSES_ROOT\\.zdw]", '@="Zdw.Document.8"',
                  "[HKEY_CLASSES_ROOT\\.zdt]", '@="Other.Document"', ""]
        setup = os.path.join(OUTDIR, "assoc-dialog-setup.reg")
        with open(setup, "w", encoding="utf-16") as f:
            f.write("\r\n".join(lines))
        run([WINE, "regedit", "/s", "Z:" + setup.replace("/", "\\")])
        for i in range(50):  # regedit returns before its writes are visible to others
            if reg_default(".zdt") == "Other.Document":
                break
            time.sleep(0.1)

    @classmethod
    def tearDownClass(cls):
        wineserver = shutil.which("wineserver")
        if wineserver:
            subprocess.run([wineserver, "-k"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV,
                           timeout=60)
        if XVFB is not None:
            XVFB.terminate()
            XVFB.wait(timeout=20)

    def open(self, name, language, program_list):
        dialog = Dialog(name, language, program_list)
        self.addCleanup(dialog.close)
        return dialog

    def check_template(self, dialog, language):
        state = dialog.state
        bx, by = state["base"]
        order = [c["id"] for c in state["controls"]]
        self.assertEqual(order[:len(TEMPLATE)], [t[0] for t in TEMPLATE])
        for id_, cls, english, korean, (x, y, w, h) in TEMPLATE:
            c = dialog.control(id_)
            self.assertEqual(c["class"], cls, id_)
            text = english if language == "en" else korean
            if text is not None:
                self.assertEqual(c["text"], text, id_)
            want = [mul_div(x, bx, 4), mul_div(y, by, 8),
                    mul_div(x, bx, 4) + mul_div(w, bx, 4), mul_div(y, by, 8) + mul_div(h, by, 8)]
            if id_ == 1011:  # a closed drop-down list shows its edit height only
                want[3] = c["rect"][3]
            for got, expected in zip(c["rect"], want):
                self.assertLessEqual(abs(got - expected), 1, (id_, c["rect"], want))
        self.assertFalse(dialog.control(1100)["visible"])
        self.assertEqual(dialog.control(1011)["style"] & 0x3, 0x3)  # drop-down list

    def check_boxes(self, dialog, expected):
        """expected: (extension, check state) of boxes 1101, 1102, ..."""
        template = dialog.control(1100)["rect"]
        group = dialog.control(1008)["rect"]
        boxes = [c for c in dialog.state["controls"] if c["id"] > 1100]
        self.assertEqual([(c["id"], c["text"], c["check"]) for c in boxes],
                         [(1101 + i, ext, check) for i, (ext, check) in enumerate(expected)])
        width, height = template[2] - template[0], template[3] - template[1]
        for i, box in enumerate(boxes):
            self.assertEqual(box["rect"], [group[0] + 20 + i * width, group[1] + 20,
                                           group[0] + 20 + (i + 1) * width, group[1] + 20 + height])
            want = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_3STATE | BS_NOTIFY
            self.assertEqual(box["style"] & want, want)

    def test_english_choose_click_apply_ok(self):
        d = self.open("english", "en", LIST)
        self.assertEqual((d.state["caption"], d.state["font"], d.state["fontPoints"]),
                         ("Associated Program", "Tahoma", 8))
        self.check_template(d, "en")
        self.assertEqual(d.control(1011)["items"], ["Word processor", "Spreadsheet"])
        self.check_boxes(d, [(".zdw", 1), (".zdt", 2), (".zml", 0)])
        d.screenshot("assoc-dialog-en.png")

        d.click(1103)  # unchecked -> checked, with the status of an unowned extension
        d.wait(lambda s: d.control(1103, s)["check"] == 1 and s["focus"] == 1103,
               ".zml was not checked")
        self.assertEqual(d.control(1009)["text"], UNOWNED.format(".zml", "Zdw.Document.8", "Zdw.exe"))
        d.click(1102)  # indeterminate -> checked -> indeterminate
        d.wait(lambda s: d.control(1102, s)["check"] == 1, ".zdt was not checked")
        d.click(1102)
        d.wait(lambda s: d.control(1102, s)["check"] == 2, ".zdt did not go back")
        d.click(1001)  # Apply: focus on a push button clears the status line
        d.wait(lambda s: s["focus"] == 1001 and d.control(1009, s)["text"] == "",
               "the status line was not cleared")
        deadline = time.time() + 10
        while reg_default(".zml") != "Zdw.Document.8" and time.time() < deadline:
            time.sleep(0.2)
        self.assertEqual(reg_default(".zml"), "Zdw.Document.8")
        self.assertEqual(reg_default(".zdt"), "Other.Document")  # indeterminate: left alone

        d.click(1011)  # open the list and take the second program
        time.sleep(0.5)
        d.key("Down", "Return")
        d.wait(lambda s: d.control(1011, s)["selection"] == 1, "the program did not change")
        self.check_boxes(d, [(".tbx", 0), (".tbt", 0)])
        d.click(1101)
        d.wait(lambda s: d.control(1101, s)["check"] == 1, ".tbx was not checked")
        d.click(1)
        self.assertEqual(d.finish(), "returned 0")
        self.assertEqual(reg_default(".tbx"), "Tabrix.Document.8")
        self.assertIsNone(reg_default(".tbt"))

    def test_korean_texts_and_cancel(self):
        d = self.open("korean", "ko", LIST)
        self.assertEqual((d.state["caption"], d.state["font"], d.state["fontPoints"]),
                         ("연결 프로그램", "굴림", 9))
        self.check_template(d, "ko")
        d.click(1102)  # .zdt opens with another program: checked, and the change is told
        d.wait(lambda s: d.control(1102, s)["check"] == 1, ".zdt was not checked")
        self.assertEqual(d.control(1009)["text"],
                         ".zdt 확장자의 연결 프로그램을 Other.exe 에서 Zdw.Document.8(Zdw.exe)로 변경합니다.")
        d.screenshot("assoc-dialog-ko.png")
        d.click(2)  # Cancel applies nothing
        self.assertEqual(d.finish(), "returned 0")
        self.assertEqual(reg_default(".zdt"), "Other.Document")


if __name__ == "__main__":
    WINE, DRIVER, OUTDIR = sys.argv[1:4]
    OUTDIR = os.path.abspath(OUTDIR)
    os.makedirs(OUTDIR, exist_ok=True)
    ENV = dict(os.environ, WINEPREFIX=os.path.join(OUTDIR, "wineprefix"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    ENV.pop("DISPLAY", None)
    # A new prefix: one an earlier Wine installation made may not load.
    shutil.rmtree(ENV["WINEPREFIX"], ignore_errors=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
