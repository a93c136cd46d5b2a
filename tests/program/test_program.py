"""The velmora program end to end: options, scripts on standard input and in
files, LISP calls, exit statuses, saves after failures, and an add-on that
crashes, leaves early or is interrupted.  Saved drawings are read back with
ezdxf."""
import os
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import VELMORA, SOURCE_DIR, TempFolder, run_velmora  # noqa: E402

import ezdxf  # noqa: E402


def build_probe(folder):
    """Compiles the probe add-on into `folder`; returns its path."""
    out = os.path.join(folder, "probe.sds")
    src = os.path.join(SOURCE_DIR, "tests", "program", "probe_addon.c")
    subprocess.run(["cc", "-shared", "-fPIC", "-I", os.path.join(SOURCE_DIR, "frame"), "-o", out, src],
                   check=True)
    return out


class Program(unittest.TestCase):
    def test_help_names_every_option(self):
        p = subprocess.run([VELMORA, "--help"], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0)
        for word in ("-s", "-o", "--png", "--drive-c", "--addon", "Example"):
            self.assertIn(word, p.stdout)
        p = subprocess.run([VELMORA, "--bogus"], capture_output=True, text=True)
        self.assertNotEqual(p.returncode, 0)
        self.assertIn("--bogus", p.stderr)

    def test_script_draws_faces_points_and_layers(self):
        with TempFolder() as d:
            script = ("layer make Ground\n\ncolor 3\n"
                      "3dface 0,0,1 i 10,0,2 10,10,3 0,10,4\n\n"
                      "3DFACE 20,0 30,0 30,10\n\n\n"
                      "point 5,5,9\n"
                      "3dpoly 0,0,0 1,1,1 2,0,2\n\n")
            r = run_velmora(d, script, extra=["--png", os.path.join(d, "out.png")])
            self.assertEqual(r.returncode, 0, r.stderr)
            doc = r.doc()
            self.assertEqual(doc.audit().has_errors, False)
            msp = doc.modelspace()
            faces = msp.query("3DFACE")
            self.assertEqual(len(faces), 2)
            self.assertEqual(faces[0].dxf.layer, "Ground")
            self.assertEqual(faces[0].dxf.color, 3)
            self.assertEqual(faces[0].dxf.invisible, 2)  # "i" before corner 2: edge 2-3
            # A three-sided face: the fourth corner repeats the third.
            self.assertEqual(tuple(faces[1].dxf.vtx2), (30.0, 10.0, 0.0))
            self.assertEqual(tuple(faces[1].dxf.vtx3), (30.0, 10.0, 0.0))
            self.assertEqual(len(msp.query("POINT")), 1)
            poly = msp.query("POLYLINE")[0]
            self.assertTrue(poly.is_3d_polyline)
            self.assertEqual([tuple(v.dxf.location) for v in poly.vertices][2], (2.0, 0.0, 2.0))
            self.assertTrue(os.path.getsize(os.path.join(d, "out.png")) > 0)

    def test_lisp_values_are_printed_and_scripts_come_from_files(self):
        with TempFolder() as d:
            path = os.path.join(d, "run.scr")
            with open(path, "w") as f:
                f.write("(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))\n(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 1))\n")
            p = subprocess.run([VELMORA, "-s", path], capture_output=True, text=True, cwd=d)
            self.assertEqual(p.returncode, 0, p.stderr)
            lines = p.stdout.split("\n")
            self.assertIn("(0.0 0.0 1.0)", lines)
            self.assertIn("nil", lines)

    def test_unknown_command_fails_but_keeps_what_was_drawn(self):
        with TempFolder() as d:
            r = run_velmora(d, "point 1,1\nfrobnicate\npoint 2,2\n")
            self.assertNotEqual(r.returncode, 0)
            self.assertIn("line 2", r.stderr)
            self.assertIn("frobnicate", r.stderr)
            self.assertEqual(len(r.stderr.strip().split("\n")), 1)
            self.assertEqual(len(r.doc().modelspace().query("POINT")), 1)

    def test_bad_add_on_and_bad_drawing_write_nothing(self):
        with TempFolder() as d:
            r = run_velmora(d, "point 1,1\n", extra=["--addon", os.path.join(d, "none.sds")])
            self.assertNotEqual(r.returncode, 0)
            self.assertIn("none.sds", r.stderr)
            self.assertFalse(os.path.exists(r.out_path))
            # A wrong number, a binary file, a huge mesh count, a file cut short.
            bad = os.path.join(d, "bad.dxf")
            head = "0\nSECTION\n2\nENTITIES\n"
            for text in (head + "0\nPOINT\n10\nabc\n", "AutoCAD Binary DXF\r\n\x1a\x00",
                         head + "0\nPOLYLINE\n66\n1\n70\n16\n71\n123456789012345\n72\n2\n",
                         head + "0\nPOINT\n10\n1.0\n"):
                with open(bad, "w", newline="") as f:
                    f.write(text)
                r = run_velmora(d, "point 1,1\n", drawing=bad)
                self.assertNotEqual(r.returncode, 0, text)
                self.assertRegex(r.stderr, r"bad\.dxf: line \d+: ")
                self.assertFalse(os.path.exists(r.out_path))

    def test_crash_or_early_exit_of_the_add_on_is_a_failure_with_no_output(self):
        with TempFolder() as d:
            probe = build_probe(d)
            for command in ("crash", "quit"):
                r = run_velmora(d, "point 1,1\n%s\npoint 2,2\n" % command, extra=["--addon", probe])
                self.assertNotEqual(r.returncode, 0, command)
                self.assertTrue(r.stderr.strip(), command)
                self.assertFalse(os.path.exists(r.out_path), command)
            # The same add-on on a good script: exit 0, and the module path it
            # was given is absolute.
            r = run_velmora(d, "(where)\n", extra=["--addon", probe])
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn('"%s"' % os.path.realpath(probe), r.stdout)

    def test_ctrl_c_interrupts_the_running_command(self):
        with TempFolder() as d:
            probe = build_probe(d)
            with subprocess.Popen([VELMORA, "-s", "-", "--addon", probe, "-o", os.path.join(d, "o.dxf")],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  text=True, cwd=d) as p:
                p.stdin.write("spin\npoint 3,3\n")
                p.stdin.close()
                self.assertIn("spinning", p.stdout.readline())
                p.send_signal(signal.SIGINT)
                rest = p.stdout.read()
                p.wait(timeout=60)
                self.assertIn("interrupted", rest)
                self.assertEqual(p.returncode, 0, p.stderr.read())
            self.assertEqual(len(ezdxf.readfile(os.path.join(d, "o.dxf")).modelspace().query("POINT")), 1)


if __name__ == "__main__":
    unittest.main()
