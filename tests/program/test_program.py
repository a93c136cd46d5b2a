"""The velmora program end to end: options; failed, cancelled, interrupted and crashed commands (status, reason, no file
touched); signals; the private work folder; saves and links, devices, permissions, leftovers; the command line on a
terminal (tmux); the README's examples as written.  Read back with ezdxf."""
import os
import re
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import VELMORA, VELMORA_ADDON, SAMPLES, SOURCE_DIR, TempFolder, run_refused, run_velmora  # noqa: E402

import ezdxf  # noqa: E402

OLD = "an old file that a failed run must leave alone\n"


def build_probe(folder):
    """Compiles the probe add-on into `folder`; returns its path."""
    out = os.path.join(folder, "probe.sds")
    src = os.path.join(SOURCE_DIR, "tests", "program", "probe_addon.c")
    subprocess.run(["cc", "-shared", "-fPIC", "-I", os.path.join(SOURCE_DIR, "sds"), "-o", out, src], check=True)
    return out


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def read(path):
    with open(path) as f:
        return f.read()


def gone(pid, timeout=10):
    """Whether process `pid` has ended (or is a zombie) within `timeout` s."""
    end = time.time() + timeout
    while time.time() < end:
        try:
            with open("/proc/%d/stat" % pid) as f:
                if f.read().split(") ")[-1].startswith("Z"):
                    return True
        except FileNotFoundError:
            return True
        time.sleep(0.05)
    return False


class Program(unittest.TestCase):
    def test_help_names_every_option(self):
        p = subprocess.run([VELMORA, "--help"], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0)
        for word in ("-s", "-o", "--png", "--drive-c", "--addon", "Example"):
            self.assertIn(word, p.stdout)
        p = subprocess.run([VELMORA, "--bogus"], capture_output=True, text=True)
        self.assertNotEqual(p.returncode, 0)
        self.assertIn("--bogus", p.stderr)

    def test_bad_add_on_and_bad_drawing_write_nothing(self):
        with TempFolder() as d:
            run_refused(self, d, "point 1,1\n", "none.sds", stream="stderr",
                        extra=["--addon", os.path.join(d, "none.sds")])
            # A drawing cut short (every fault the reader names: dxf_test.cpp).
            bad = os.path.join(d, "bad.dxf")
            write(bad, "0\nSECTION\n2\nENTITIES\n0\nPOINT\n10\n1.0\n")
            r = run_refused(self, d, "point 1,1\n", drawing=bad)
            self.assertRegex(r.stderr, r"bad\.dxf: line \d+: ")


class Outcome(unittest.TestCase):
    """A run that fails in any way exits non-zero with one line on standard
    error and leaves -o and --png as they were."""

    def check_failed(self, d, r, *words, crash=False):
        self.assertNotEqual(r.returncode, 0, r.stdout)
        lines = r.stderr.strip().split("\n")
        if not crash:   # a sanitizer build may report a crash before our line
            self.assertEqual(len(lines), 1, r.stderr)
        for w in words:
            self.assertIn(w, lines[-1])
        self.assertEqual(read(r.out_path), OLD)
        self.assertEqual(read(os.path.join(d, "pic.png")), OLD)

    def run_failing(self, d, script, probe=None):
        write(os.path.join(d, "out.dxf"), OLD)
        write(os.path.join(d, "pic.png"), OLD)
        extra = ["--png", os.path.join(d, "pic.png")] + (["--addon", probe] if probe else [])
        return run_velmora(d, script, extra=extra)

    def test_failed_host_lines_touch_no_file(self):
        with TempFolder() as d:
            r = self.run_failing(d, "point 1,1\nfrobnicate\npoint 2,2\n")
            self.check_failed(d, r, "line 2", "frobnicate")
            # The input ending inside a selection (a cancelled command: session_test.cpp).
            r = self.run_failing(d, "point 1,1\nerase w 0,0")
            self.check_failed(d, r)

    def test_failed_cancelled_and_crashed_add_on_calls_touch_no_file(self):
        with TempFolder() as d:
            probe = build_probe(d)
            cases = [("fail", "point 1,1\nfail\npoint 2,2\n", ("line 2", "fail failed: probe failure")),
                     ("crash", "point 1,1\ncrash\n", ("killed by signal 9", "during the command crash")),
                     ("segv", "segv\n", ("the add-on crashed in the command segv", "signal 11")),
                     ("quit", "quit\n", ("the add-on ended the session", "during the command quit"))]
            for what, script, words in cases:
                with self.subTest(what):
                    r = self.run_failing(d, script, probe)
                    self.check_failed(d, r, *words, crash=what in ("crash", "segv", "quit"))
                    if what == "crash":
                        self.assertNotIn("crashed", r.stderr)  # it was killed, not a fault of its own
                    if what == "fail":   # a cancel the same way: session_test.cpp
                        self.assertIn("what it did was undone", r.stdout)
            # The same add-on on a good script: exit 0, its module path absolute.
            r = run_velmora(d, "(where)\n", extra=["--addon", probe])
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn('"%s"' % os.path.realpath(probe), r.stdout)


class Signals(unittest.TestCase):
    def test_ctrl_c_stops_the_script_and_term_hup_kill_end_the_session_saving_nothing(self):
        with TempFolder() as d:
            probe = build_probe(d)
            for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGKILL):
                with self.subTest(sig=sig):
                    write(os.path.join(d, "o.dxf"), OLD)
                    # TMPDIR in the test's folder: a SIGKILL leaves the work folder behind.
                    p = subprocess.Popen([VELMORA, "-s", "-", "--addon", probe, "-o", os.path.join(d, "o.dxf")],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                         text=True, cwd=d, env=dict(os.environ, TMPDIR=d))
                    p.stdin.write("point 1,1\nspin\npoint 3,3\n")
                    p.stdin.close()
                    line = p.stdout.readline()
                    self.assertIn("spinning", line)
                    p.send_signal(sig)
                    p.wait(timeout=60)
                    out, err = p.stdout.read(), p.stderr.read()
                    p.stdout.close()
                    p.stderr.close()
                    self.assertTrue(gone(int(line.split()[1])), "the session outlived the program")
                    if sig == signal.SIGINT:
                        self.assertIn("interrupted", out)
                        self.assertIn("was interrupted (Ctrl-C)", err)
                        self.assertNotEqual(p.returncode, 0)
                    else:
                        self.assertEqual(p.returncode, -sig, err)
                        if sig != signal.SIGKILL:
                            self.assertIn("stopped by signal %d" % sig, err)
                    time.sleep(0.5)   # the spin would have ended and saved by now
                    self.assertEqual(read(os.path.join(d, "o.dxf")), OLD)

    def test_ctrl_c_stops_a_script_that_runs_itself(self):
        with TempFolder() as d:
            probe = build_probe(d)
            write(os.path.join(d, "loop.scr"), "(where)\nscript loop\n")
            with subprocess.Popen([VELMORA, "-s", "loop.scr", "--addon", probe, "-o", "o.dxf"],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, cwd=d) as p:
                for _ in range(50):   # around the loop many times: it does not nest
                    self.assertIn("probe.sds", p.stdout.readline())
                p.send_signal(signal.SIGINT)
                _, err = p.communicate(timeout=60)
                self.assertNotEqual(p.returncode, 0)
                self.assertIn("interrupted (Ctrl-C)", err)
            self.assertFalse(os.path.exists(os.path.join(d, "o.dxf")))


class WorkFolder(unittest.TestCase):
    def test_each_run_has_a_private_folder_removed_however_it_ends(self):
        with TempFolder() as d:
            probe = build_probe(d)
            tmp = os.path.join(d, "tmp")
            os.mkdir(tmp)
            env = dict(os.environ, TMPDIR=tmp)
            seen = []
            for script in ("(workdir)\n", "(workdir)\nfail\n", "(workdir)\ncrash\n"):
                p = subprocess.run([VELMORA, "-s", "-", "--addon", probe], input=script, env=env,
                                   capture_output=True, text=True, cwd=d, timeout=60)
                folder = [w.strip('"') for w in p.stdout.split() if w.startswith('"' + tmp)][0][:-1]
                self.assertEqual(os.path.dirname(folder), tmp)
                seen.append(folder)
                self.assertEqual(os.listdir(tmp), [], script)   # gone, with the work file in it
            self.assertEqual(len(set(seen)), 3)
            # While it runs the folder is there, the user's own.
            with subprocess.Popen([VELMORA, "-s", "-", "--addon", probe], env=env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, cwd=d) as p:
                p.stdin.write("(workdir)\nspin\n")
                p.stdin.flush()
                folder = p.stdout.readline().strip().strip('"')[:-1]
                self.assertEqual(stat.S_IMODE(os.stat(folder).st_mode), 0o700)
                self.assertEqual(read(os.path.join(folder, "probe.bin")), "work")
                p.stdin.close()
                p.send_signal(signal.SIGTERM)
                p.wait(timeout=30)
            self.assertEqual(os.listdir(tmp), [])

    def test_runs_side_by_side_with_one_add_on_never_share_work_files(self):
        """Twenty runs at once, one add-on file, each on its own survey: each
        gives what a run alone gives; files named like the work files stay."""
        import random
        addon = os.environ.get("VELMORA_ADDON")
        if not addon:
            self.skipTest("VELMORA_ADDON is not set")
        with TempFolder() as d:
            shared = os.path.join(d, "addon")
            os.mkdir(shared)
            module = os.path.join(shared, "velmora.sds")
            subprocess.run(["cp", addon, module], check=True)
            mine = {name: "the user's own %s\n" % name for name in ("velmora.dxf", "vol.dxf", "vol.bin", "colf.dxf")}
            for folder in (shared, d):
                for name, text in mine.items():
                    write(os.path.join(folder, name), text)

            def survey(i):
                rnd = random.Random(i)
                doc = ezdxf.new("R12")
                for _ in range(400 + 37 * i):
                    doc.modelspace().add_point((rnd.uniform(0, 1000), rnd.uniform(0, 1000), rnd.uniform(0, 50)))
                path = os.path.join(d, "s%d.dxf" % i)
                doc.saveas(path)
                return path

            def start(i, tag):
                return subprocess.Popen([VELMORA, survey(i) if tag == "alone" else os.path.join(d, "s%d.dxf" % i),
                                         "-s", "-", "--addon", module, "-o", os.path.join(d, "%s%d.dxf" % (tag, i))],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, cwd=d)

            def faces(path):
                return sorted(tuple(round(c, 9) for v in f.wcs_vertices() for c in v)
                              for f in ezdxf.readfile(path).modelspace().query("3DFACE"))

            script = ("velmora\nall\n\n"
                      "(colfe '(0.0 50.0) '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))\nall\n\n")
            for i in range(20):
                p = start(i, "alone")
                out, err = p.communicate(script, timeout=300)
                self.assertEqual(p.returncode, 0, err)
            procs = [start(i, "together") for i in range(20)]
            for i, p in enumerate(procs):
                out, err = p.communicate(script, timeout=600)
                self.assertEqual(p.returncode, 0, err)
            for i in range(20):
                alone = faces(os.path.join(d, "alone%d.dxf" % i))
                self.assertGreater(len(alone), 800)     # the terrain, coloured in bands
                self.assertEqual(faces(os.path.join(d, "together%d.dxf" % i)), alone, i)
            for folder in (shared, d):
                for name, text in mine.items():
                    self.assertEqual(read(os.path.join(folder, name)), text, (folder, name))


class Saves(unittest.TestCase):
    def test_links_are_followed_and_kept_and_permissions_stay(self):
        with TempFolder() as d:
            os.mkdir(os.path.join(d, "real"))
            target = os.path.join(d, "real", "terrain.dxf")
            write(target, OLD)
            os.chmod(target, 0o640)
            os.symlink("real/terrain.dxf", os.path.join(d, "link.dxf"))
            os.symlink("link.dxf", os.path.join(d, "out.dxf"))   # a link to a link
            r = run_velmora(d, "point 1,2,3\n")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue(os.path.islink(r.out_path))
            self.assertEqual(os.readlink(r.out_path), "link.dxf")
            self.assertEqual(len(ezdxf.readfile(target).modelspace().query("POINT")), 1)
            self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o640)
            self.assertEqual(sorted(os.listdir(os.path.join(d, "real"))), ["terrain.dxf"])
            # A dangling link: the file it names is made.
            os.symlink("real/new.dxf", os.path.join(d, "dangling.dxf"))
            r = run_velmora(d, "point 1,2,3\n", out="dangling.dxf")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue(os.path.islink(r.out_path))
            self.assertEqual(len(ezdxf.readfile(os.path.join(d, "real", "new.dxf")).modelspace().query("POINT")), 1)

    def test_targets_that_are_not_regular_files_are_refused(self):
        with TempFolder() as d:
            os.mkfifo(os.path.join(d, "pipe.dxf"))
            os.mkdir(os.path.join(d, "folder.dxf"))
            os.symlink("pipe.dxf", os.path.join(d, "to-pipe.dxf"))
            for name, kind in (("pipe.dxf", "FIFO"), ("folder.dxf", "folder"), ("to-pipe.dxf", "FIFO")):
                with self.subTest(name):
                    r = run_velmora(d, "point 1,1\n", out=name, timeout=30)
                    self.assertNotEqual(r.returncode, 0)
                    self.assertIn(name, r.stderr)
                    self.assertIn(kind, r.stderr)
            self.assertTrue(stat.S_ISFIFO(os.lstat(os.path.join(d, "pipe.dxf")).st_mode))
            self.assertTrue(os.path.isdir(os.path.join(d, "folder.dxf")))
            # The same for the picture.
            r = run_velmora(d, "point 1,1\n", extra=["--png", os.path.join(d, "pipe.dxf")], timeout=30)
            self.assertNotEqual(r.returncode, 0)
            self.assertIn("FIFO", r.stderr)

    def test_leftovers_of_killed_saves_are_removed_by_the_next(self):
        with TempFolder() as d:
            dead = subprocess.Popen(["true"])
            dead.wait()
            stale = os.path.join(d, "out.dxf.tmp-%d-AbC123" % dead.pid)
            live = os.path.join(d, "out.dxf.tmp-%d-AbC123" % os.getpid())
            other = os.path.join(d, "notes.tmp-x")
            for path in (stale, live, other):
                write(path, "half")
            r = run_velmora(d, "point 1,1\n")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertFalse(os.path.exists(stale))
            self.assertTrue(os.path.exists(live))     # its writer is still running
            self.assertTrue(os.path.exists(other))    # not one of ours
            left = sorted(n for n in os.listdir(d) if n != "velmora.sds")
            self.assertEqual(left, sorted(["out.dxf", os.path.basename(live), "notes.tmp-x"]))



class Terminal(unittest.TestCase):
    """The command line at a terminal: the program in a tmux pane, keys sent to it and the screen read back."""

    def setUp(self):
        if not shutil.which("tmux"):
            self.skipTest("tmux is not installed (tools/install-deps.sh installs it)")
        self.work = TempFolder().__enter__()
        self.addCleanup(shutil.rmtree, self.work, True)
        self.tmux = ["tmux", "-L", "velmora-test-%d" % os.getpid(), "-f", "/dev/null"]
        addon = ["--addon", VELMORA_ADDON] if VELMORA_ADDON else []
        cmd = " ".join(shlex.quote(a) for a in [VELMORA] + addon + ["-o", "out.dxf"])
        shell = "cd %s && HOME=%s %s; echo $? > status; sleep 60" % (
            shlex.quote(self.work), shlex.quote(self.work), cmd)
        subprocess.run(self.tmux + ["new-session", "-d", "-x", "150", "-y", "100", shell], check=True)
        self.addCleanup(subprocess.run, self.tmux + ["kill-server"], capture_output=True)

    def screen(self):
        return subprocess.run(self.tmux + ["capture-pane", "-p", "-S", "-1000"], capture_output=True, text=True).stdout

    def keys(self, *keys):
        subprocess.run(self.tmux + ["send-keys"] + list(keys), check=True)

    def wait_for(self, text, count=1):
        """Waits until `text` is on the screen `count` times."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.screen().count(text) >= count:
                return
            time.sleep(0.05)
        self.fail("%r not shown %d times; the screen:\n%s" % (text, count, self.screen()))

    def answer(self, text, then, count=1):
        self.keys("-l", text)
        self.keys("Enter")
        self.wait_for(then, count)

    def test_prompts_reasking_help_save_and_quit(self):
        self.wait_for("Command:")
        self.answer("line", "Specify first point:")
        self.answer("0,0", "Specify next point or [Undo]:")
        # A bad answer is refused and asked again; the rest of the line does not run.
        self.answer("oops point 9,9", "Specify next point or [Undo]:", 2)
        self.assertIn("LINE: invalid point", self.screen())
        self.answer("3,4", "Specify next point or [Undo]:", 3)
        self.answer("", "Command:", 2)
        self.answer("help", "Enter a command name <list all>:")
        self.answer("", "help NAME tells")
        for name in ("copy", "explode", "saveas", "quit"):
            self.assertIn("\n  " + name + " ", self.screen())
        # Tab completes a command's name.
        self.keys("-l", "exte")
        self.keys("Tab")
        self.answer("", "Extents: 0,0,0 to 3,4,0")
        self.answer("save kept", "Saved kept.dxf.")
        lines = ezdxf.readfile(os.path.join(self.work, "kept.dxf")).modelspace().query("LINE")
        self.assertEqual([(tuple(e.dxf.start), tuple(e.dxf.end)) for e in lines], [((0, 0, 0), (3, 4, 0))])
        self.assertEqual(len(ezdxf.readfile(os.path.join(self.work, "kept.dxf")).modelspace().query("POINT")), 0)
        self.answer("quit", "Command: quit")
        status = os.path.join(self.work, "status")
        deadline = time.monotonic() + 30
        while not os.path.exists(status) or not read(status).strip():
            self.assertLess(time.monotonic(), deadline, self.screen())
            time.sleep(0.05)
        self.assertEqual(read(status).strip(), "0", self.screen())
        self.assertEqual(len(ezdxf.readfile(os.path.join(self.work, "out.dxf")).modelspace().query("LINE")), 1)
        # The typed lines are kept for the next session.
        self.assertIn("save kept", read(os.path.join(self.work, ".velmora_history")))


def examples():
    """The README's indented blocks that call build/velmora, in order (run in
    one folder holding the build and the samples; each must exit 0)."""
    with open(os.path.join(SOURCE_DIR, "README.md")) as f:
        text = f.read()
    blocks = re.findall(r"(?:^    .*\n)+", text, flags=re.M)
    return ["\n".join(line[4:] for line in b.splitlines()) for b in blocks if "build/velmora " in b]


class ReadmeExamples(unittest.TestCase):
    def test_examples_run_as_written(self):
        blocks = examples()
        self.assertGreaterEqual(len(blocks), 8)
        with TempFolder() as work:
            os.symlink(os.path.dirname(os.path.abspath(VELMORA)), os.path.join(work, "build"))
            os.symlink(SAMPLES, os.path.join(work, "samples"))
            os.mkdir(os.path.join(work, "out"))
            printed = ""
            for block in blocks:
                # The shared c:/haldorin files stay in this test's folder.
                script = block.replace("--drive-c /tmp", "--drive-c .")
                with self.subTest(block=block.splitlines()[0]):
                    run = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", script], cwd=work,
                                         capture_output=True, text=True, timeout=600)
                    self.assertEqual(run.returncode, 0, block + "\n" + run.stdout[-2000:] + run.stderr)
                    printed += run.stdout
            # The first example: points to a terrain, contours, LandXML and a picture.
            self.assertIn("CONTOUR: 15 levels from 300 to 1000 (3 major)", printed)
            contours = ezdxf.readfile(os.path.join(work, "out", "jacksboro_contours.dxf")).modelspace()
            faces = len(contours.query("3DFACE[layer=='TRIANG']"))
            self.assertGreater(faces, 5000)
            self.assertGreater(len(contours.query("POLYLINE[layer=='CONTOUR-MAJOR']")), 10)
            xml = ET.parse(os.path.join(work, "out", "jacksboro_tin.xml")).getroot()
            self.assertEqual(len(xml.findall(".//{http://www.landxml.org/schema/LandXML-1.2}F")), faces)
            with open(os.path.join(work, "out", "jacksboro_contours.png"), "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
            log = read(os.path.join(work, "cut.log"))
            self.assertLess(len(log), 1024)
            self.assertIn("3DINT:", log)
            site = ezdxf.readfile(os.path.join(work, "site.dxf")).modelspace()
            self.assertEqual(len(site.query("3DFACE")), 8)
            self.assertEqual(len(site.query("LINE")), 8)
            two = ezdxf.readfile(os.path.join(work, "two.dxf")).modelspace()
            tin = ezdxf.readfile(os.path.join(work, "tin.dxf")).modelspace()
            self.assertEqual(len(two.query("3DFACE")), 2 * len(tin.query("3DFACE[layer=='TRIANG']")))


if __name__ == "__main__":
    unittest.main()
