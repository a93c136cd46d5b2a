"""The LISP building blocks and the sorter called from a script through the
velmora program, as a LISP program in the host would call them."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import TempFolder, run_velmora  # noqa: E402


class LispThroughTheProgram(unittest.TestCase):
    def test_geometry_functions(self):
        script = "\n".join([
            "(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))",
            "(dovrp '(0 0 0) '(0 1 0) '(0 0 0) '(1 0 0))",
            "(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 1))",
            "(set_lim '(0 0 0) '(10 10 10) 0)",
            "(e_intre_lim '(10 5 5) '(20 5 5) '(20 6 5))",
            "(e_intre_lim '(11 5 5) '(20 5 5) '(20 6 5))",
            "(e_intre_lim '(1 1 1) '(1.0000001 1 1) '(2 2 1))",
            "(app_tri '(1300 1 0) '(1234.5 0 0) '(1250 0 1))",
            "(dovrp '(0 0 0))",
        ]) + "\n"
        with TempFolder() as d:
            run = run_velmora(d, script, out=None)
            self.assertEqual(run.returncode, 0, run.stderr)
            values = [l for l in run.stdout.splitlines() if l.startswith("(") or l in ("T", "nil")]
            self.assertEqual(values[0], "(0.0 0.0 1.0)")
            self.assertEqual(values[1], "(0.0 0.0 -1.0)")
            self.assertEqual(values[2:6], ["nil", "T", "nil", "nil"])
            self.assertEqual(values[6], '(1234.5 1300.0 (1300.0 1.0 0.0) (1234.5 0.0 0.0) '
                                        '(1250.0 0.0 1.0) "       1234.5000" 0.0 1.0 0.0 1.0)')
            self.assertEqual(values[7], "nil")
            self.assertIn("*** VELMORA Error -  dovrp: 4 points expected", run.stdout)

    def test_sorter_keeps_the_file_whole(self):
        with TempFolder() as d:
            os.makedirs(os.path.join(d, "haldorin"))
            path = os.path.join(d, "haldorin", "ass.dat")
            with open(path, "w") as f:
                f.write("3 5\nlemon\napple\ngrape\n")
            run = run_velmora(d, "(ass)\n", out=None)
            self.assertEqual(run.returncode, 0, run.stderr)
            with open(path) as f:
                self.assertEqual(f.read(), "apple\ngrape\nlemon\n")

            with open(path, "w") as f:
                f.write("2 40\nlemon\napple\n")
            run = run_velmora(d, "(ass)\n", out=None)
            self.assertIn("*** VELMORA Error -  *ASS lu_art>=32", run.stdout)
            with open(path) as f:
                self.assertEqual(f.read(), "2 40\nlemon\napple\n")
            self.assertEqual(sorted(os.listdir(os.path.join(d, "haldorin"))), ["ass.dat"])


if __name__ == "__main__":
    unittest.main()
