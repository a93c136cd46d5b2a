#!/usr/bin/env bash
# Builds the benchmarks (release) and runs them, each against a CGAL peer on
# the same inputs in the same run, with ratios: the triangulation library
# against CGAL's Delaunay triangulation (random 100k and 1M points, a
# 1000 x 1000 grid, the bundled survey's elevation model at full resolution,
# 200k points with an outline and 20 holes against the constrained one), and
# cut and fill against CGAL's box_intersection_d with exact triangle tests;
# then the velmora program against its peers (bench/host.sh): open + save, and
# the main job; then the add-on's vol, surfcross and colfe against theirs
# (bench/addon.sh).
#   tools/bench.sh [scale]      scale 1 = the sizes above; two surfaces of
#                               100k triangles for cut and fill
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-bench -j 2 --target bench_tin bench_cutfill
dem=build-bench/dem_points.bin
[ -s "$dem" ] || /usr/bin/python3 tools/dem_points.py "$dem"
./build-bench/bench/bench_tin --scale "${1:-1}" --dem "$dem"
./build-bench/bench/bench_cutfill "${1:-1}"
cmake --build build-bench -j 2 --target velmora velmora_addon bench_host >/dev/null && bench/host.sh build-bench "${1:-1}"
bash bench/addon.sh build-bench
