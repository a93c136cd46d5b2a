#!/usr/bin/env bash
# Builds the benchmarks (release) and runs them, each against a CGAL peer on
# the same inputs in the same run, with ratios: the triangulation library
# against CGAL's Delaunay triangulation, and cut and fill against CGAL's
# box_intersection_d with exact triangle tests.
#   tools/bench.sh [scale]      scale 1 = 10k/100k random points, 300x300 DEM,
#                               two surfaces of 100k triangles
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-bench -j 2 --target bench_tin bench_cutfill
./build-bench/bench/bench_tin "${1:-1}"
./build-bench/bench/bench_cutfill "${1:-1}"
