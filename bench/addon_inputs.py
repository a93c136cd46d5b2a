"""Drawings for bench/addon.sh, written as plain R12 DXF text:

  addon_inputs.py stacked OUT.dxf [faces]   two terrains of `faces` 3DFACEs
                                            each (default 100,000), one 4 to
                                            9 units above the other, over the
                                            same square: a body for vol
  addon_inputs.py terrain OUT.dxf [faces]   one terrain of `faces` 3DFACEs
                                            (default 400,000): for colfe
"""
import sys

import numpy as np


def terrain(n, z0, seed):
    """(2 n^2, 3, 3) triangles over an n x n grid of 2-unit cells at a survey
    site, inner nodes jittered, heights rolling."""
    rng = np.random.default_rng(seed)
    u, v = np.meshgrid(np.arange(n + 1) * 2.0, np.arange(n + 1) * 2.0, indexing="ij")
    inner = (slice(1, n), slice(1, n))
    u[inner] += rng.uniform(-0.4, 0.4, (n - 1, n - 1))
    v[inner] += rng.uniform(-0.4, 0.4, (n - 1, n - 1))
    x, y = 512000.0 + u, 4031000.0 + v
    z = z0 + 6 * np.sin(u / 53 + seed) * np.cos(v / 41) + 0.01 * u
    p = np.stack([x, y, z], axis=-1)
    a, b, c, d = p[:-1, :-1], p[1:, :-1], p[1:, 1:], p[:-1, 1:]
    first = np.stack([a, b, c], axis=-2).reshape(-1, 3, 3)
    second = np.stack([a, c, d], axis=-2).reshape(-1, 3, 3)
    return np.concatenate([first, second])


def write(path, surfaces):
    with open(path, "w") as f:
        f.write("0\nSECTION\n2\nENTITIES\n")
        for layer, tris in surfaces:
            head = "0\n3DFACE\n8\n%s\n" % layer
            rows = ["%s10\n%.6f\n20\n%.6f\n30\n%.6f\n11\n%.6f\n21\n%.6f\n31\n%.6f\n"
                    "12\n%.6f\n22\n%.6f\n32\n%.6f\n13\n%.6f\n23\n%.6f\n33\n%.6f\n"
                    % ((head,) + tuple(t.ravel()) + tuple(t[2])) for t in tris]
            f.write("".join(rows))
        f.write("0\nENDSEC\n0\nEOF\n")


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "stacked":
        faces = int(sys.argv[3]) if len(sys.argv) > 3 else 100000
        n = int(round((faces / 2) ** 0.5))
        write(path, [("GROUND", terrain(n, 300.0, 1)), ("TOP", terrain(n, 307.0, 2))])
    elif kind == "terrain":
        faces = int(sys.argv[3]) if len(sys.argv) > 3 else 400000
        n = int(round((faces / 2) ** 0.5))
        write(path, [("GROUND", terrain(n, 300.0, 1))])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
