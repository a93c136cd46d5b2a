"""The numpy peer of vol for bench/addon.sh: reads the 3DFACEs of a DXF
drawing, samples every triangle at the nodes of a square grid of the given
increment (the default one when it is 0, as vol offers it), sorts the
samples by node and height, pairs the heights at each node into intervals
and sums the volume with the same quarter-cell node weights.  Prints the
volume and the sample count.

  vol_peer.py DRAWING.dxf INCREMENT
"""
import sys

import numpy as np


def read_faces(path):
    """The corners 1 to 3 of every 3DFACE, as an (m, 3, 3) array."""
    with open(path, "rb") as f:
        tokens = f.read().split(b"\n")
    values = np.array(tokens[1::2], dtype="S24")
    codes = np.array(tokens[0::2][: len(values)], dtype="S8")   # as written here, no blanks
    start = np.flatnonzero((codes == b"0") & (values == b"3DFACE"))
    # Each face: the value of each corner code that follows its "0" line.
    out = np.empty((len(start), 9))
    ends = np.append(start[1:], len(codes))
    wanted = [b"10", b"20", b"30", b"11", b"21", b"31", b"12", b"22", b"32"]
    for k, code in enumerate(wanted):
        hit = np.flatnonzero(codes == code)
        owner = np.searchsorted(start, hit, side="right") - 1
        ok = (owner >= 0) & (hit < ends[np.maximum(owner, 0)])
        out[owner[ok], k] = values[hit[ok]].astype(float)
    return out.reshape(-1, 3, 3)


def round_half_away(v):
    return np.where(v >= 0, np.floor(v + 0.5), -np.floor(-v + 0.5)).astype(np.int64)


def sample(tri, step):
    """The nodes inside each triangle in plan (edge functions, a tolerance
    for round-off) and the height of its plane there."""
    a, b, c = tri[:, 0], tri[:, 1], tri[:, 2]
    area = (b[:, 0] - a[:, 0]) * (c[:, 1] - a[:, 1]) - (b[:, 1] - a[:, 1]) * (c[:, 0] - a[:, 0])
    keep = area != 0
    a, b, c, area = a[keep], b[keep], c[keep], area[keep]
    lo, hi = np.minimum(np.minimum(a, b), c), np.maximum(np.maximum(a, b), c)
    i0, i1 = round_half_away(lo[:, 0] / step), round_half_away(hi[:, 0] / step)
    j0, j1 = round_half_away(lo[:, 1] / step), round_half_away(hi[:, 1] / step)
    w = i1 - i0 + 1
    count = w * (j1 - j0 + 1)
    owner = np.repeat(np.arange(len(a)), count)
    k = np.arange(count.sum()) - np.repeat(np.cumsum(count) - count, count)
    i = i0[owner] + k % w[owner]
    j = j0[owner] + k // w[owner]
    # Coordinates relative to corner a, so that large ones do not cancel.
    x = i * step - a[owner, 0]
    y = j * step - a[owner, 1]
    bx, by = (b - a)[owner, 0], (b - a)[owner, 1]
    cx, cy = (c - a)[owner, 0], (c - a)[owner, 1]
    s = area[owner]
    wb = (x * cy - y * cx) / s          # barycentric weight of b
    wc = (bx * y - by * x) / s          # of c
    eps = -1e-9
    inside = (wb >= eps) & (wc >= eps) & (1 - wb - wc >= eps)
    z = a[owner, 2] + wb * (b - a)[owner, 2] + wc * (c - a)[owner, 2]
    return i[inside].astype(np.int32), j[inside].astype(np.int32), z[inside].astype(np.float32)


def volume(i, j, z, step):
    # One 64-bit key a sample: the node's place in the index rectangle, then
    # the height's bits turned so that they sort as the floats do.
    i, j = i.astype(np.int64), j.astype(np.int64)
    imin, jmin = i.min(), j.min()
    rows = j.max() - jmin + 1
    bits = z.view(np.uint32)
    bits = np.where(bits >> np.uint32(31) != 0, ~bits, bits | np.uint32(0x80000000))
    key = ((i - imin) * rows + (j - jmin)).astype(np.uint64) << np.uint64(32)
    key |= bits
    key.sort()
    node = (key >> np.uint64(32)).astype(np.int64)
    i, j = node // rows + imin, node % rows + jmin
    bits = key.astype(np.uint32)
    bits = np.where(bits >> np.uint32(31) != 0, bits ^ np.uint32(0x80000000), ~bits)
    z = bits.view(np.float32).astype(np.float64)
    new = np.ones(len(i), dtype=bool)
    new[1:] = (i[1:] != i[:-1]) | (j[1:] != j[:-1])
    # Heights within 1e-5 of the one before at the same node are one crossing.
    same = np.zeros(len(i), dtype=bool)
    same[1:] = ~new[1:] & (np.abs(z[1:] - z[:-1]) < 1e-5)
    i, j, z, new = i[~same], j[~same], z[~same], new[~same]
    first = np.flatnonzero(new)
    rank = np.arange(len(i)) - np.repeat(first, np.diff(np.append(first, len(i))))
    top = np.flatnonzero((rank % 2 == 1))
    dz = z[top] - z[top - 1]
    # Node weights: a quarter cell for each neighbouring cell whose corners are all nodes.
    grid = np.zeros((i.max() - imin + 3, j.max() - jmin + 3), dtype=bool)
    grid[i - imin + 1, j - jmin + 1] = True
    cell = grid[:-1, :-1] & grid[1:, :-1] & grid[:-1, 1:] & grid[1:, 1:]
    quarters = np.zeros(grid.shape, dtype=np.int8)
    quarters[1:, 1:] += cell
    quarters[:-1, 1:] += cell
    quarters[1:, :-1] += cell
    quarters[:-1, :-1] += cell
    q = quarters[i[top] - imin + 1, j[top] - jmin + 1]
    weight = np.where(q == 0, 4.0, q)
    return float(np.sum(step * step / 4.0 * weight * dz))


def main():
    tri = read_faces(sys.argv[1])
    step = float(sys.argv[2])
    if step <= 0:
        xy = tri[:, :, :2].reshape(-1, 2)
        dx, dy = xy.max(axis=0) - xy.min(axis=0)
        step = np.sqrt(2.0 * dx * dy / 8000000.0)
    # In chunks of triangles, so that the candidate nodes stay small.
    parts = [sample(tri[k:k + 1024], step) for k in range(0, len(tri), 1024)]
    i, j, z = (np.concatenate([p[m] for p in parts]) for m in range(3))
    print("volume %.3f from %d samples at increment %.6f" % (volume(i, j, z, step), len(i), step))


if __name__ == "__main__":
    main()
