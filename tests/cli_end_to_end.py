#!/usr/bin/env python3
"""End-to-end runs of the tolvane command against hive files.

Usage: cli_end_to_end.py PATH-TO-TOLVANE
"""
import fcntl
import grp
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

TOLVANE = None


def run(*args, check_exit=None, env=None):
    proc = subprocess.run([TOLVANE, *args], capture_output=True, stdin=subprocess.DEVNULL,
                          env=None if env is None else {**os.environ, **env})
    if check_exit is not None and proc.returncode != check_exit:
        raise AssertionError(f"{args}: exit {proc.returncode}, stderr {proc.stderr!r}")
    return proc


def run_json(*args, check_exit=0):
    proc = run("--json", *args, check_exit=check_exit)
    return json.loads(proc.stdout)


class CommandTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.hive = os.path.join(self.dir.name, "registry.reg")
        self.base = ["--registry", self.hive]

    def tearDown(self):
        self.dir.cleanup()

    def install(self, *modules):
        bin_dir = os.path.join(self.dir.name, "c", "Suite", "Bin")
        os.makedirs(bin_dir, exist_ok=True)
        for module in modules:
            open(os.path.join(bin_dir, module), "w").close()
        return ["--drive", "C=" + os.path.join(self.dir.name, "c")]

    def test_clean_open_always_changes_nothing(self):
        out = run_json(*self.base, "register", "CleanOpenAlways", "C:\\Suite\\Bin\\")
        self.assertEqual(out["result"], 0)
        self.assertEqual(out["notifications"], 0)
        self.assertEqual(out["changes"], [])
        self.assertEqual(out["messages"], [])
        self.assertFalse(os.path.exists(self.hive), "nothing changed, so nothing is written")

    def test_unknown_group_and_too_long_directory_give_1016(self):
        for group, directory in (("cleanopenalways", "C:\\"), ("COMMON2007_MODULE", "C:\\"),
                                 ("ZDW2008_FILE_EXT", "C:\\" + "d" * 297)):
            out = run_json(*self.base, "register", group, directory, check_exit=1)
            self.assertEqual(out["result"], 1016, group)
            self.assertEqual(out["changes"], [], group)
            self.assertEqual(out["notifications"], 0, group)
        self.assertFalse(os.path.exists(self.hive))
        hint = run(*self.base, "register", "cleanopenalways", check_exit=1).stdout.decode()
        self.assertIn("did you mean CleanOpenAlways?", hint)

    def test_file_ext_group_writes_once_and_reports_each_change(self):
        first = run_json(*self.base, "register", "SHOWRA2008_FILE_EXT", "C:\\Suite\\Bin\\")
        self.assertEqual(first["result"], 0)
        self.assertEqual(first["notifications"], 1)
        self.assertIn({"op": "set-value", "key": "HKEY_CLASSES_ROOT\\.shw", "name": None,
                       "type": "REG_SZ", "data": "Showra.Document.8"}, first["changes"])
        self.assertIn({"op": "create-key", "key": "HKEY_CLASSES_ROOT\\Showra.Document.8"},
                      first["changes"])
        again = run_json(*self.base, "register", "SHOWRA2008_FILE_EXT", "C:\\Suite\\Bin\\")
        self.assertEqual(again["changes"], [])
        self.assertEqual(again["notifications"], 0)

    def test_module_group_runs_embedded_scripts_for_installed_modules(self):
        drive = self.install("Showra.exe")
        out = run_json(*self.base, *drive, "register", "SHOWRA2008_MODULE", "C:\\Suite\\Bin")
        self.assertEqual(out["result"], 0)
        commands = [c["data"] for c in out["changes"]
                    if c["op"] == "set-value" and c["key"].endswith("\\shell\\open\\command")]
        self.assertEqual(commands, ['C:\\Suite\\Bin\\Showra.exe "%1"'])
        query = run(*self.base, "query", "HKCR\\Showra.Document.8\\shell\\open\\command",
                    check_exit=0)
        self.assertIn('Showra.exe "%1"', query.stdout.decode())
        open(os.path.join(self.dir.name, "Zdw.exe"), "w").close()  # above the drive's folder
        above = run_json(*self.base, *drive, "register", "ZDW2008_MODULE", "C:\\..\\")
        self.assertFalse([c for c in above["changes"] if "_ROOT\\CLSID\\" in c["key"]])

    def test_unregister_reports_like_register_and_keeps_what_changed(self):
        group = ["SHOWRA2008_FILE_EXT", "C:\\Suite\\Bin\\"]
        registered = run_json(*self.base, "register", *group)
        with open(os.path.join(self.dir.name, "change.reg"), "w") as f:
            f.write('Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.shw]\n'
                    '@="Other.Document"\n')
        run(*self.base, "import", os.path.join(self.dir.name, "change.reg"), check_exit=0)
        out = run_json(*self.base, "unregister", *group)
        self.assertEqual(set(out) - {"kept"}, set(registered))
        self.assertEqual((out["result"], out["notifications"]), (0, 1))
        self.assertEqual(out["kept"], [{"key": "HKEY_CLASSES_ROOT\\.shw", "name": None,
                                        "reason": "differs from what registration writes"}])
        self.assertIn({"op": "delete-key", "key": "HKEY_CLASSES_ROOT\\Showra.Document.8"},
                      out["changes"])
        text = run(*self.base, "unregister", *group, check_exit=0).stdout.decode()
        self.assertIn("kept: HKEY_CLASSES_ROOT\\.shw (default): differs from what registration "
                      "writes\nno changes\n", text)

    def test_text_output_is_a_key_tree(self):
        out = run(*self.base, "register", "SHOWRA2008_FILE_EXT", "C:\\Suite\\Bin\\", check_exit=0)
        text = out.stdout.decode()
        self.assertIn("returned 0", text)
        self.assertIn("HKEY_CLASSES_ROOT\n  .shw  [created]\n", text)
        script = self.write("esc.rgs", b"HKCU { 'E\x1b[2J\rx' = s 'a\x07\nb' { 'v\x9b' = s x } }")
        shown = run("--codepage", "28591", "script", "check", script, check_exit=0).stdout.decode()
        self.assertIn("E\\x1b[2J\\x0dx  [created]\n", shown)
        self.assertIn('(default) = "a\\x07\\x0ab"', shown)
        self.assertIn("  v\\u009b  [created]\n", shown)
        exact = run_json("--codepage", "28591", "script", "check", script)["changes"]
        self.assertEqual(exact[0]["key"], "HKEY_CURRENT_USER\\E\x1b[2J\rx")

    def test_malformed_hive_is_refused_and_left_as_it_was(self):
        bad = b"\xff\xfeW\x00x\x00"  # not a regedit header
        with open(self.hive, "wb") as f:
            f.write(bad)
        out = run(*self.base, "register", "ZDW2008_FILE_EXT", "C:\\", check_exit=2)
        self.assertEqual(out.stdout, b"")
        self.assertEqual(len(out.stderr.decode().strip().splitlines()), 1)
        with open(self.hive, "rb") as f:
            self.assertEqual(f.read(), bad)

    def test_usage_errors_exit_2_with_one_line(self):
        for args in (["register"], ["frobnicate"], ["--drive", "nonsense", "groups"],
                     ["script", "run"]):
            out = run(*self.base, *args, check_exit=2)
            self.assertEqual(len(out.stderr.decode().strip().splitlines()), 1, args)

    def test_probe_asks_the_library_beside_the_command(self):
        def gid(name):
            try:
                return grp.getgrnam(name).gr_gid
            except KeyError:
                return None
        held = set(os.getgroups()) | {os.getegid()}
        admin = os.geteuid() == 0 or any(gid(n) in held for n in ("sudo", "wheel", "admin"))
        self.assertEqual(run_json("probe")["result"], 1 if admin else 0)
        if os.geteuid() == 0 and gid("sudo") is not None:  # sudo as the effective group alone
            proc = subprocess.run([TOLVANE, "--json", "probe"], capture_output=True, user=65534,
                                  group=gid("sudo"), extra_groups=[])
            self.assertEqual(json.loads(proc.stdout)["result"], 1, proc.stderr)
        wrapper = "/usr/lib/x86_64-linux-gnu/libnss_wrapper.so"
        if os.geteuid() == 0 and os.path.exists(wrapper):
            # A sudo group of 2,000 members (a record far over 16 KB), read
            # through a wrapped group file; held as the effective group, as
            # a supplementary one, or not at all.
            members = ",".join("member%04d" % i for i in range(2000))
            files = {"passwd": "nobody:x:65534:65534::/:/bin/false\n",
                     "group": "nogroup:x:65534:\nsudo:x:4242:%s\n" % members}
            # A sanitized build wants its runtime first among the libraries.
            asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                          "verify_asan_link_order=0"]))
            env = dict(os.environ, LD_PRELOAD=wrapper, ASAN_OPTIONS=asan)
            readable = tempfile.mkdtemp()  # by the user the probe runs as
            self.addCleanup(shutil.rmtree, readable)
            os.chmod(readable, 0o755)
            for name, text in files.items():
                env["NSS_WRAPPER_" + name.upper()] = os.path.join(readable, name)
                with open(env["NSS_WRAPPER_" + name.upper()], "w") as f:
                    f.write(text)
            for group, extra, expected in ((4242, [], 1), (65534, [4242], 1), (65534, [], 0)):
                proc = subprocess.run([TOLVANE, "--json", "probe"], capture_output=True, env=env,
                                      user=65534, group=group, extra_groups=extra)
                self.assertEqual(json.loads(proc.stdout)["result"], expected,
                                 (group, extra, proc.stderr))
        # Without the library beside it (and nowhere on the search path).
        alone = shutil.copy(TOLVANE, self.dir.name)
        proc = subprocess.run([alone, "probe"], capture_output=True)
        self.assertEqual((proc.returncode, proc.stdout), (2, b""))
        self.assertEqual(len(proc.stderr.decode().strip().splitlines()), 1)

    def test_groups_lists_the_catalogue(self):
        out = run_json("groups")
        self.assertEqual(out["groups"][0], "CleanOpenAlways")
        self.assertEqual(len(out["groups"]), 9)

    def test_script_check_and_run(self):
        script = os.path.join(self.dir.name, "s.rgs")
        with open(script, "wb") as f:
            f.write(b"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tDemo = s '%PATH%x.exe'\r\n\t}\r\n}\r\n")
        check = run_json(*self.base, "script", "check", script, "--set", "PATH=C:\\A\\")
        self.assertEqual(check["result"], 0)
        self.assertIn({"op": "set-value", "key": "HKEY_CURRENT_USER\\Software\\Demo", "name": None,
                       "type": "REG_SZ", "data": "C:\\A\\x.exe"}, check["changes"])
        self.assertFalse(os.path.exists(self.hive), "check never touches the hive")
        broken = os.path.join(self.dir.name, "b.rgs")
        with open(broken, "wb") as f:
            f.write(b"HKCU { Demo = s '%MISSING%' }")
        out = run_json(*self.base, "script", "run", broken, check_exit=1)
        self.assertEqual(out["result"], -2147352567)  # DISP_E_EXCEPTION

    def test_export_and_import_round_trip(self):
        run(*self.base, "register", "ZDW2008_FILE_EXT", "C:\\Suite\\Bin\\", check_exit=0)
        exported = os.path.join(self.dir.name, "x.reg")
        run(*self.base, "export", "--output", exported, check_exit=0)
        with open(exported, "rb") as f:
            self.assertEqual(f.read(2), b"\xff\xfe")
        other = ["--registry", os.path.join(self.dir.name, "other.reg")]
        run(*other, "import", exported, check_exit=0)
        self.assertEqual(run_json(*other, "import", exported)["changes"], [])
        self.assertEqual(run(*other, "export").stdout, run(*self.base, "export").stdout)

    def test_dry_run_reports_what_the_real_run_does_and_writes_nothing(self):
        drive = self.install("Zdw.exe")
        script = os.path.join(self.dir.name, "s.rgs")
        with open(script, "wb") as f:
            f.write(b"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tDemo = s '%PATH%x.exe'\r\n\t}\r\n}\r\n")
        source = os.path.join(self.dir.name, "in.reg")
        with open(source, "w") as f:
            f.write("Windows Registry Editor Version 5.00\n\n[-HKEY_CLASSES_ROOT\\.zdw]\n\n"
                    "[HKEY_CURRENT_USER\\Software\\In]\n\"v\"=dword:00000002\n")
        commands = (
            [*drive, "register", "ZDW2008_MODULE", "C:\\Suite\\Bin\\"],
            ["register", "SHOWRA2008_FILE_EXT", "C:\\Suite\\Bin\\"],
            ["assoc", ".zdw", "Showra.Document.8"],
            ["script", "run", script, "--set", "PATH=C:\\A\\"],
            ["import", source],
            ["register-is", "C:\\Suite\\"],
        )
        for command in commands:
            with self.subTest(command=command[-2:]):
                if os.path.exists(self.hive):
                    os.remove(self.hive)
                run(*self.base, "register", "ZDW2008_FILE_EXT", "C:\\Suite\\Bin\\", check_exit=0)
                with open(self.hive, "rb") as f:
                    before = f.read()
                stamp = os.stat(self.hive).st_mtime_ns
                dry = run(*self.base, "--json", "--dry-run", *command)
                dry_text = run(*self.base, "--dry-run", *command)
                with open(self.hive, "rb") as f:
                    self.assertEqual(f.read(), before)
                self.assertEqual(os.stat(self.hive).st_mtime_ns, stamp)
                real = run(*self.base, "--json", *command)
                self.assertEqual(dry.returncode, real.returncode)
                report = json.loads(dry.stdout)
                self.assertEqual((report.pop("dry_run"), report.pop("notifications_sent")),
                                 (True, False))
                report.pop("modules_not_registered")
                self.assertEqual(report, json.loads(real.stdout))
                self.assertIn("notifications not sent", dry_text.stdout.decode())

    def test_verify_names_what_differs_and_never_writes(self):
        group = ["SHOWRA2008_FILE_EXT", "C:\\Suite\\Bin\\"]
        before = run_json(*self.base, "verify", *group, check_exit=1)
        self.assertFalse(before["registered"])
        self.assertIn("HKEY_CLASSES_ROOT\\.shw", before["missing_keys"])
        self.assertFalse(os.path.exists(self.hive), "verify writes nothing")
        run(*self.base, "register", *group, check_exit=0)
        self.assertEqual(run(*self.base, "verify", *group, check_exit=0).stdout, b"registered\n")
        by_hand = os.path.join(self.dir.name, "hand.reg")
        with open(by_hand, "w") as f:
            f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.shw]\n"
                    "@=\"Other.Document\"\n")
        run(*self.base, "import", by_hand, check_exit=0)
        changed = run_json(*self.base, "verify", *group, check_exit=1)
        self.assertEqual(changed["missing_keys"], [])
        self.assertIn({"key": "HKEY_CLASSES_ROOT\\.shw", "name": None,
                       "expected": {"type": "REG_SZ", "data": "Showra.Document.8"},
                       "found": {"type": "REG_SZ", "data": "Other.Document"}},
                      changed["differing_values"])

    def run_concurrent_writers(self, registry_of):
        """Twelve script runs at once, writer i on the hive named registry_of(i):
        every writer succeeds and every key is in the hive afterwards."""
        procs = [subprocess.Popen([TOLVANE, "--registry", registry_of(i), "script", "run",
                                   self.write_script(i), "--set", "PATH=C:\\"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                 for i in range(12)]
        for p in procs:
            p.communicate()
            self.assertEqual(p.returncode, 0)
        text = run(*self.base, "export", check_exit=0).stdout.decode()
        for i in range(12):
            self.assertIn(f"[HKEY_CURRENT_USER\\Software\\Concurrent\\K{i}]", text)

    def test_concurrent_commands_lose_no_change(self):
        self.run_concurrent_writers(lambda i: self.hive)

    def test_installer_entry_points(self):
        drive = self.install("KORVOX.OCX")
        english, korean = "Failed to register the program.", "프로그램 등록에 실패하였습니다."
        long_dir = "C:\\" + "d" * 300 + "\\"
        # (global options, command, exit, result, messages, whether the store changes)
        cases = (
            ([], ["register-is", "C:\\Suite\\"], 1, 0, [english], False),
            (["--lang", "ko-KR"], ["register-is", "C:\\Suite\\"], 1, 0, [korean], False),
            (["--lang", "zh-CN"], ["custom-action", "_RegProduct", "--feature", "Postra=local"],
             1, 1, ["应用程序注册失败"], False),
            (["--lang", "ja-JP"], ["custom-action", "_RegProduct", "--feature", "Tabrix=3",
                                   "--property", "CommonDir=C:\\Suite\\Bin\\"], 1, 1,
             [english], False),
            (["--lang", "fr-FR"], ["custom-action", "_RegProduct", "--feature", "Velmora=none",
                                   "--feature", "Showra=unknown"], 0, 0, [], False),
            ([], ["custom-action", "_RegKorvo", "--property", "QmrOcxOldDir=C:\\Suite\\Bin\\"],
             0, 0, [], True),
            ([], ["custom-action", "_RegKorvo", "--property", "QmrOcxOldDir=C:\\Other\\"],
             0, 0, [], False),
            (["--lang", "ko-KR"], ["custom-action", "_RegKorvo", "--property",
                                   "QmrOcxOldDir=" + long_dir], 1, 1, [korean], False),
        )
        for options, command, code, result, messages, changes in cases:
            proc = run(*self.base, *drive, "--json", *options, *command, check_exit=code,
                       env={"LANG": "C", "LC_ALL": "", "LC_MESSAGES": ""})
            out = json.loads(proc.stdout)
            self.assertEqual(out["result"], result, command)
            self.assertEqual(out["messages"], messages, command)
            self.assertEqual(proc.stderr.decode().splitlines(), messages, command)
            self.assertEqual(bool(out["changes"]), changes, command)
        text = run(*self.base, "register-is", "x", check_exit=1, env={"LANG": "ko_KR.UTF-8"})
        self.assertIn(korean, text.stdout.decode())

    def test_installer_usage_errors_change_nothing(self):
        for args in (["custom-action", "_RegFoo"],
                     ["custom-action", "_RegKorvo", "--feature", "Velmora=lots"],
                     ["custom-action", "_RegKorvo", "--property", "=C:\\"],
                     ["register-is"]):
            out = run(*self.base, *args, check_exit=2)
            self.assertEqual(len(out.stderr.decode().strip().splitlines()), 1, args)
        self.assertFalse(os.path.exists(self.hive))

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def hive_bytes(self):
        if not os.path.exists(self.hive):
            return None
        with open(self.hive, "rb") as f:
            return f.read()

    def test_tool_errors_are_one_line_one_json_object_and_change_nothing(self):
        run(*self.base, "register", "ZDW2008_FILE_EXT", "C:\\", check_exit=0)
        before = self.hive_bytes()
        nul = self.write("nul.rgs", b"HKCU { A = s 'x' }\n\0HKCU { B = s 'y' }")
        deep = self.write("deep.reg", b"Windows Registry Editor Version 5.00\n\n[HKCU"
                          + b"\\k" * 513 + b"]\n")
        # 40 keys 500 levels deep: 40 kB naming 10 million units of key paths.
        wide = self.write("wide.reg", b"REGEDIT4\n" + b"".join(
            b"[HKCU\\w%d" % i + b"\\k" * 500 + b"]\n" for i in range(40)))
        os.mkfifo(os.path.join(self.dir.name, "fifo.reg"))
        cases = [  # arguments, words the one line must hold
            (["import", self.dir.name], "is a directory"),
            (["script", "run", self.dir.name], "is a directory"),
            (["script", "check", self.dir.name], "is a directory"),
            (["import", os.path.join(self.dir.name, "none.reg")], "No such file"),
            (["import", deep], "line 3: key path deeper than 512 levels"),
            (["import", wide], "full paths would add up to more than"),
            (["import", "/dev/zero"], "not a regular file"),
            (["script", "run", nul], "line 2: a NUL byte"),
            (["script", "run", "--id", "65666"], "not in range"),
            (["script", "show", "65666"], "not in range"),
            (["--codepage", "12345", "script", "check", nul], "--codepage 12345"),
            (["frobnicate"], "unknown command 'frobnicate'"),
            (["script", "frob"], "unknown command 'frob'"),
            (["export", "--output", self.hive], "is the hive file itself"),
            (["export", "--output", self.hive + ".tmp1-0"], "lock or temporary file's"),
            (["--wait", "nan", "query", "HKCU"], "'nan' is not a number of seconds"),
            (["--wait", "5s", "query", "HKCU"], "'5s' is not a number of seconds"),
            (["--wait", "86400.5", "query", "HKCU"], "'86400.5' seconds is not in range"),
            (["export", "--output", os.path.join(self.dir.name, "nowhere", "x.reg")],
             "cannot write"),
            # Control characters in a message are escaped; invalid UTF-8 and
            # numbers that are not whole are refused, naming the argument.
            (["export", "--output", os.path.join(self.dir.name, "no\nwhere\x1b[2J", "x.reg")],
             "no\\x0awhere\\x1b[2J"),
            (["assoc", b".a\xff", "Zdw.Document.8"], "EXT is not valid UTF-8"),
            (["script", "check", nul, "--set", b"P=\xed\xa0\x80"], "--set is not valid UTF-8"),
            (["--drive", b"C=/tmp/\xc0\xaf", "groups"], "--drive is not valid UTF-8"),
            (["script", "show", "130.0"], "'130.0' is not a whole number"),
            (["script", "run", "--id", "1e3"], "'1e3' is not a whole number"),
            (["--codepage", "0949", "script", "check", nul], "line 2: a NUL byte"),  # decimal
            (["--host-exe", "", "register-is", "C:\\"], "--host-exe wants"),
        ]
        for args, words in cases:
            for json_flag in ([], ["--json"]):
                out = run(*self.base, *json_flag, *args, check_exit=2)
                lines = out.stderr.decode().strip().splitlines()
                self.assertEqual(len(lines), 1, (args, lines))
                self.assertIn(words, lines[0], args)
                if json_flag:
                    error = json.loads(out.stdout)["error"]
                    self.assertEqual(re.sub("[\x00-\x1f]", lambda c: "\\x%02x" % ord(c[0]), error),
                                     lines[0][len("tolvane: "):])
                else:
                    self.assertEqual(out.stdout, b"", args)
                self.assertEqual(self.hive_bytes(), before, args)
        with open(TOLVANE, "rb") as f:
            sanitized = b"__asan_init" in f.read()  # the sanitizers reserve more than the limit
        if not sanitized:  # running out of memory is one JSON object too
            big = self.write("big.reg", b"REGEDIT4\n[HKCU\\Big]\n" +
                             b"".join(b'"v%d"="x"\n' % i for i in range(1000000)))
            out = subprocess.run([TOLVANE, "--json", *self.base, "import", big], capture_output=True,
                                 preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS,
                                                                       (32 << 20, 32 << 20)))
            self.assertEqual(json.loads(out.stdout), {"error": "out of memory", "exit": 2})
        for hive in ("", os.path.join(self.dir.name, "fifo.reg"), self.dir.name):
            out = run("--json", "--registry", hive, "groups" if not hive else "query", "HKCU",
                      check_exit=2) if hive else run("--registry", "", "groups", check_exit=2)
            self.assertEqual(len(out.stderr.decode().strip().splitlines()), 1, hive)

    def test_lost_output_is_an_error(self):
        run(*self.base, "register", "ZDW2008_FILE_EXT", "C:\\", check_exit=0)
        # A full device, and a pipe whose reader has gone (as `| head -c1` leaves it).
        for sink, reason in (("full", b"No space left on device"), ("pipe", b"Broken pipe")):
            new_key = self.write(sink + ".reg", b"REGEDIT4\n[HKCU\\Saved" + sink.encode() + b"]\n")
            for args, code in ((["groups"], 2), (["export"], 2),
                               (["--json", "query", "HKCR\\.zdw"], 2),
                               (["script", "show", "130"], 2), (["import", new_key], 3)):
                if sink == "full":
                    out = os.open("/dev/full", os.O_WRONLY)
                else:
                    reader, out = os.pipe()
                    os.close(reader)
                proc = subprocess.run([TOLVANE, *self.base, *args], stdout=out,
                                      stderr=subprocess.PIPE)
                os.close(out)
                self.assertEqual(proc.returncode, code, (sink, args))
                self.assertIn(reason, proc.stderr, (sink, args))
                self.assertEqual(b"was saved" in proc.stderr, code == 3, (sink, args))
            run(*self.base, "query", "HKCU\\Saved" + sink, check_exit=0)

    def test_every_name_of_a_hive_shares_one_lock(self):
        link = os.path.join(self.dir.name, "link.reg")
        os.symlink("registry.reg", link)
        self.run_concurrent_writers(lambda i: self.hive if i % 2 else link)
        self.assertTrue(os.path.islink(link))

    def test_held_locks_are_waited_for_with_a_message_then_refused(self):
        run(*self.base, "register", "ZDW2008_FILE_EXT", "C:\\", check_exit=0)
        cases = [  # lock held, command, exit
            (fcntl.LOCK_SH, ["query", "HKCR\\.zdw"], 0),
            (fcntl.LOCK_SH, ["assoc", ".zdw", "Zdw.Document.8"], 2),
            (fcntl.LOCK_EX, ["export"], 2),
            (fcntl.LOCK_EX, ["assoc", ".zdw", "Zdw.Document.8"], 2),
        ]
        for held, args, exit_code in cases:
            with open(self.hive + ".lock", "a+") as lock:
                fcntl.flock(lock, held)
                out = run(*self.base, "--wait", "0.3", *args, check_exit=exit_code)
            err = out.stderr.decode()
            if exit_code == 2:
                self.assertIn("waiting for " + self.hive + ".lock", err, args)
                self.assertIn("gave up after 0 seconds", err, args)

    def test_first_run_and_empty_hives_read_as_empty_registries(self):
        missing = ["--registry", os.path.join(self.dir.name, "new", "sub", "registry.reg")]
        empty = ["--registry", self.write("empty.reg", b"")]
        for base in (missing, empty):
            self.assertEqual(run(*base, "export", check_exit=0).stdout.decode().strip(),
                             "Windows Registry Editor Version 5.00")
            run(*base, "query", "HKCU\\Software", check_exit=1)
            self.assertEqual(run_json(*base, "export", "HKCU\\Software", check_exit=1)["result"], 2)
            run(*base, "groups", check_exit=0)
        self.assertFalse(os.path.exists(os.path.join(self.dir.name, "new")))
        run(*empty, "assoc", ".zdw", "Zdw.Document.8", check_exit=1)
        # A file named on the command line may be a pipe.
        piped = subprocess.run([TOLVANE, *empty, "import", "/dev/stdin"], capture_output=True,
                               input=b"REGEDIT4\n[HKCU\\Piped]\n")
        self.assertEqual(piped.returncode, 0, piped.stderr)

    def test_values_with_apostrophes_are_written_whole(self):
        drive = self.install("Zdw.exe")
        os.rename(os.path.join(self.dir.name, "c", "Suite"),
                  os.path.join(self.dir.name, "c", "Bob's Suite"))
        out = run_json(*self.base, *drive, "register", "ZDW2008_MODULE", "C:\\Bob's Suite\\Bin\\")
        self.assertEqual(out["result"], 0)
        self.assertIn('C:\\Bob\'s Suite\\Bin\\Zdw.exe "%1"',
                      [c.get("data") for c in out["changes"]])
        script = self.write("q.rgs", b"HKCU { NoRemove Software { Q = s '%P%' } }")
        check = run_json("script", "check", script, "--set", "P=it's")
        self.assertEqual([c["key"] for c in check["changes"]],
                         ["HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\Software\\Q",
                          "HKEY_CURRENT_USER\\Software\\Q"])
        self.assertEqual(check["changes"][-1]["data"], "it's")

    def test_script_failures_name_their_place_and_what_remains(self):
        cases = [  # script, --set pairs, words of the failure, changes that remain
            (b"HKCU {\n  A = s '%NOPE%'\n}", [], "line 2, column 10: %NOPE% is not defined", 0),
            (b"HKCU {\n  Val x = q 1\n}", [], "line 2, column 11, at 'q'", 0),
            (b"HKCU { A = s '%P%' }\r\nHKCU { B = q x }", ["--set", "P=v"],
             "line 2, column 12, at 'q'", 2),
            (b"HKCU { A = s x\n B = %P% }", ["--set", "P=s y } junk"],
             "line 2, column 6, in the value of %P%, at 'junk'", 4),
            (b"HKCU { A { B = s 'x' } C = x y }", [], "line 1, column 28, at 'x'", 0),
        ]
        for text, sets, words, remaining in cases:
            out = run_json("script", "check", self.write("f.rgs", text), *sets, check_exit=1)
            self.assertIn(words, out["failure"], text)
            self.assertEqual(out["remaining"], remaining, text)
        # An embedded script's failure is placed alike; what the undo deleted
        # that was there before is named as lost, not counted as remaining.
        out = run_json(*self.base, "script", "run", "--id", "0130", check_exit=1)
        self.assertIn("script 130, line 6, column 20: %PATH% is not defined", out["failure"])
        run(*self.base, "import", self.write("e.reg", b"REGEDIT4\n[HKCU\\Existing]\n"), check_exit=0)
        out = run_json(*self.base, "script", "run",
                       self.write("f.rgs", b"HKCU { Existing { A = s x\n B = q y } }"), check_exit=1)
        self.assertEqual((out["remaining"], out["lost"]), (0, ["HKEY_CURRENT_USER\\Existing"]))

    def test_lock_files_are_never_written_through(self):
        victim = self.write("victim.txt", b"keep me")
        long_hive = os.path.join(self.dir.name, "a" * 251)
        long_lock = long_hive[:-1] + ".lock"
        cases = [  # hive, its lock file, how the lock is planted, words of the refusal
            (self.hive, self.hive + ".lock", os.symlink, "symbolic link"),
            (self.hive, self.hive + ".lock", os.link, "not a lock file"),
            (long_hive, long_lock, shutil.copy, "not a lock file"),
            (long_lock, None, None, "choose another name"),
        ]
        for hive, lock, plant, words in cases:
            for name in os.listdir(self.dir.name):
                if name != "victim.txt":
                    os.unlink(os.path.join(self.dir.name, name))
            if plant:
                plant(victim, lock)
            out = run("--registry", hive, "assoc", ".zdw", "Zdw.Document.8", check_exit=2)
            self.assertIn(words, out.stderr.decode(), words)
            with open(lock or victim, "rb") as f:
                self.assertEqual(f.read(), b"keep me", words)

    def test_hives_that_cannot_be_used_are_refused_before_anything_is_made(self):
        os.chmod(self.dir.name, 0o755)
        locked = os.path.join(self.dir.name, "ro")
        os.mkdir(locked, 0o555)
        loop = os.path.join(self.dir.name, "loop.reg")
        os.symlink("loop.reg", loop)
        fifo = os.path.join(self.dir.name, "fifo.reg")
        os.mkfifo(fifo)
        nobody = lambda: os.setuid(65534)  # noqa: E731
        small = lambda: __import__("resource").setrlimit(  # noqa: E731
            __import__("resource").RLIMIT_FSIZE, (512, 512))
        cases = [  # hive, environment, before the command, words of the refusal
            (os.path.join(locked, "r.reg"), None, nobody if os.geteuid() == 0 else None,
             "Permission denied"),
            (loop, None, None, "loop.reg: "),
            (fifo, None, None, "not a regular file"),
            (locked, None, None, "is a directory"),
            (self.hive, None, small, "File too large"),
            (None, {"HOME": "", "XDG_DATA_HOME": ""}, None, "HOME is not"),
            (None, {"XDG_DATA_HOME": "rel"}, None, "XDG_DATA_HOME is a relative path"),
        ]
        for hive, env, before, words in cases:
            args = ["--registry", hive] if hive else []
            environment = {k: v for k, v in os.environ.items() if k != "TOLVANE_REGISTRY"}
            for name, value in (env or {}).items():
                environment[name] = value
                if not value:
                    del environment[name]
            proc = subprocess.run([os.path.abspath(TOLVANE), *args, "register",
                                   "ZDW2008_FILE_EXT", "C:\\"],
                                  capture_output=True, env=environment, preexec_fn=before,
                                  cwd=self.dir.name)
            lines = proc.stderr.decode().strip().splitlines()
            self.assertEqual((proc.returncode, len(lines)), (2, 1), (words, lines))
            self.assertIn(words, lines[0])
        # Only the lock of the hive that could be used (the save that was too large).
        self.assertEqual(sorted(os.listdir(self.dir.name)),
                         ["fifo.reg", "loop.reg", "registry.reg.lock", "ro"])

    def test_input_is_read_before_the_hive_is_locked(self):
        for command in (["import", "/dev/stdin"], ["script", "run", "/dev/stdin"]):
            slow = subprocess.Popen([TOLVANE, *self.base, *command], stdin=subprocess.PIPE,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            try:
                time.sleep(0.2)
                run(*self.base, "--wait", "0", "assoc", ".zdw", "Zdw.Document.8", check_exit=1)
            finally:
                _, err = slow.communicate(b"REGEDIT4\n[HKCU\\Slow]\n" if command[0] == "import"
                                          else b"HKCU { Slow2 }")
            self.assertEqual(slow.returncode, 0, err)

    def test_failures_carry_their_reason(self):
        long_key = self.write("long.rgs", b"HKCU {\n  " + b"k" * 300 + b" = s 'v'\n}")
        cases = (  # command, words of the reason
            (["register", "NOPE", "C:\\"], "no group named NOPE (the groups are: CleanOpenAlways, "),
            (["unregister", "cleanopenalways"], "; did you mean CleanOpenAlways? group names are"),
            (["custom-action", "_RegProduct", "--feature", "Velmora=local"],
             "no group named COMMON2007_MODULE (the groups are: CleanOpenAlways, "),
            (["custom-action", "_RegProduct", "--feature", "Velmora=local"],
             "; did you mean COMMON2008_MODULE?)"),
            (["script", "check", self.write("f.rgs", b"HKCU {\n  Val x = q 1\n}")],
             "the script failed with 0x80020009 (a script fault) at line 2, column 11, at 'q'"),
            (["script", "check", long_key], "0x80070057 (invalid argument) at line 2, column 3"),
            (["assoc", ".zdw", "Nope.Document"],
             "cannot open the document class HKCR\\Nope.Document: not found (2)"),
        )
        for command, words in cases:
            self.assertIn(words, run_json(*self.base, *command, check_exit=1)["reason"], command)
            text = run(*self.base, *command, check_exit=1).stdout.decode()
            self.assertIn("reason: ", text, command)
            self.assertIn(words, text, command)

    def write_script(self, i):
        path = os.path.join(self.dir.name, f"c{i}.rgs")
        with open(path, "wb") as f:
            f.write(f"HKCU {{ NoRemove Software {{ NoRemove Concurrent {{ K{i} = s 'v' }} }} }}".encode())
        return path


if __name__ == "__main__":
    TOLVANE = sys.argv.pop(1)
    unittest.main(verbosity=1)
