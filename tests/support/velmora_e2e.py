"""End-to-end helpers: run the velmora program on a drawing and a script in a
temporary folder, and read what it saved with ezdxf, an independent reader."""
import os
import shutil
import subprocess
import tempfile
import unittest

VELMORA = os.environ.get("VELMORA", "velmora")
VELMORA_ADDON = os.environ.get("VELMORA_ADDON")
SOURCE_DIR = os.environ.get("VELMORA_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SAMPLES = os.path.join(SOURCE_DIR, "samples")
SURVEY = os.path.join(SAMPLES, "jacksboro_survey.dxf")


class Run:
    def __init__(self, proc, workdir, out_path):
        self.returncode, self.stdout, self.stderr = proc.returncode, proc.stdout, proc.stderr
        self.workdir, self.out_path = workdir, out_path

    def doc(self):
        import ezdxf
        return ezdxf.readfile(self.out_path)


def run_velmora(workdir, script, drawing=None, out="out.dxf", extra=(), timeout=600):
    """Runs velmora in `workdir` with `script` on standard input, loading a copy of the add-on there: it writes its
    export beside itself, and tests running side by side must not share that file."""
    args = [VELMORA]
    if VELMORA_ADDON and "--addon" not in extra:
        addon = os.path.join(workdir, os.path.basename(VELMORA_ADDON))
        if not os.path.exists(addon):
            shutil.copy(VELMORA_ADDON, addon)
        args += ["--addon", addon]
    if drawing:
        args.append(drawing)
    args += ["-s", "-", "--drive-c", workdir]
    out_path = os.path.join(workdir, out) if out else None
    if out:
        args += ["-o", out_path]
    args += list(extra)
    proc = subprocess.run(args, input=script, capture_output=True, text=True, cwd=workdir, timeout=timeout)
    return Run(proc, workdir, out_path)


def run_ok(test, workdir, script, **kwargs):
    """run_velmora, `test` (None in a class set-up) checking it succeeded without error."""
    test = test or unittest.TestCase()
    r = run_velmora(workdir, script, **kwargs)
    test.assertEqual(r.returncode, 0, r.stdout + r.stderr)
    test.assertNotIn("Error", r.stdout)
    return r


def run_refused(test, workdir, script, *texts, stream="stdout", **kwargs):
    """run_velmora that must fail: non-zero status, `texts` in `stream`, no drawing saved."""
    r = run_velmora(workdir, script, **kwargs)
    test.assertNotEqual(r.returncode, 0, r.stdout)
    for text in texts:
        test.assertIn(text, getattr(r, stream))
    if r.out_path:
        test.assertFalse(os.path.exists(r.out_path), script)
    return r


def bundled_tin(test, workdir, out="tin.dxf", **kwargs):
    """The bundled survey triangulated by the program and saved to `out`."""
    return run_ok(test, workdir, "velmora\nall\n\n", drawing=SURVEY, out=out, **kwargs)


def write_faces(path, layers):
    """layers: {name: triangles}; each triangle a three-sided 3DFACE (R12)."""
    import ezdxf
    doc = ezdxf.new("R12")
    for name, tris in layers.items():
        for a, b, c in tris:
            doc.modelspace().add_3dface([a, b, c, c], dxfattribs={"layer": name})
    doc.saveas(path)


class TempFolder:
    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="velmora-e2e-")
        return self.path

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


class SharedFolder(unittest.TestCase):
    """Tests sharing one temporary folder, cls.work."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="velmora-e2e-")
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
