"""The LISP building blocks called from a script through the velmora program,
as a LISP program in the host would call them.  The sorter: lisp_test.cpp."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from velmora_e2e import TempFolder, run_velmora  # noqa: E402


class LispThroughTheProgram(unittest.TestCase):
    def test_geometry_functions(self):
        # Each expression and the value printed for it, in order.
        key = '"       1234.5000"'
        calls = [
            ("(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))", "(0.0 0.0 1.0)"),
            ("(dovrp '(0 0 0) '(0 1 0) '(0 0 0) '(1 0 0))", "(0.0 0.0 -1.0)"),
            # (2,0,0) x (0,0,3): segments that do not start at the origin.
            ("(dovrp '(1 1 1) '(3 1 1) '(5 5 5) '(5 5 8))", "(0.0 -6.0 0.0)"),
            # Before any set_lim the box is the single point at the origin.
            ("(e_intre_lim '(0 0 0) '(1 0 0) '(0 1 0))", "T"),
            ("(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 1))", "nil"),
            ("(set_lim '(0 0 0) '(10 10 10) 0)", None),
            ("(e_intre_lim '(10 5 5) '(20 5 5) '(20 6 5))", "T"),
            ("(e_intre_lim '(10.001 5 5) '(20 5 5) '(20 6 5))", "nil"),
            # A side shorter than 1e-6, whichever two corners make it.
            ("(e_intre_lim '(1 1 1) '(1.0000001 1 1) '(2 2 1))", "nil"),
            ("(e_intre_lim '(1 1 1) '(2 2 1) '(2 2 1.0000001))", "nil"),
            ("(e_intre_lim '(1 1 1) '(2 2 1) '(1 1 1))", "nil"),
            ("(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 11))", "T"),
            ("(e_intre_lim '(1 1 11) '(2 1 11) '(1 2 12))", "nil"),
            ("(app_tri '(1300 1 0) '(1234.5 0 0) '(1250 0 1))",
             '(1234.5 1300.0 (1300.0 1.0 0.0) (1234.5 0.0 0.0) (1250.0 0.0 1.0) %s 0.0 1.0 0.0 1.0)' % key),
            # The key is min x less the reference value.
            ("(set_lim '(0 0 0) '(1 1 1) 1000.25)", None),
            ("(app_tri '(1300 1 0) '(1234.5 0 0) '(1250 0 1))",
             '(1234.5 1300.0 (1300.0 1.0 0.0) (1234.5 0.0 0.0) (1250.0 0.0 1.0) '
             '"        234.2500" 0.0 1.0 0.0 1.0)'),
        ]
        script = "".join(c + "\n" for c, _ in calls)
        with TempFolder() as d:
            run = run_velmora(d, script, out=None)
            self.assertEqual(run.returncode, 0, run.stderr)
            values = [l for l in run.stdout.splitlines() if l.startswith("(") or l in ("T", "nil")]
            self.assertEqual(values, [v for _, v in calls if v is not None])
            # A refused call is a failure: the script stops there, non-zero.
            run = run_velmora(d, "(dovrp '(0 0 0))\n(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))\n",
                              out=None)
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("*** VELMORA Error -  dovrp: 4 points expected", run.stdout)
            self.assertIn("dovrp: 4 points expected", run.stderr)
            self.assertNotIn("(0.0 0.0 1.0)", run.stdout)
            # The longest text a double gives still fits in the key.
            run = run_velmora(d, "(app_tri '(1e308 0 0) '(1e308 1 0) '(1e308 0 1))\n", out=None)
            self.assertRegex(run.stdout, r'"[0-9]{300,}\.0000"')


if __name__ == "__main__":
    unittest.main()
