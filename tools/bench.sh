#!/usr/bin/env bash
# Builds the triangulation benchmark (release) and runs it: our library
# against CGAL's Delaunay triangulation on the same inputs, with ratios.
#   tools/bench.sh [scale]      scale 1 = 10k/100k random points, 300x300 DEM
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-bench -j 2 --target bench_tin
./build-bench/bench/bench_tin "${1:-1}"
