#!/usr/bin/env bash
# Builds and runs every test twice: a release build, then an AddressSanitizer
# + UndefinedBehaviorSanitizer build; the triangulation library's tests a
# third time with its internal checks; then runs every fuzz target for a
# minute.  Installs what a fresh Debian machine lacks when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

cmake -S . -B build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON
cmake --build build-san -j "$jobs"
(cd build-san && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

# The triangulation library's tests once more with its internal checks
# compiled in: every angle sum made whole late, and every cell a wide check
# point by point leaves out, is compared with the plain computation, and a
# difference aborts.  (The differential tests alone cannot see a cell left
# out that held no better point.)
cmake -S . -B build-check -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-DTIN_CHECK_LAZY -DTIN_CHECK_ROWS"
cmake --build build-check -j "$jobs" --target test_tin
build-check/tests/test_tin

# Every fuzz target for a minute under ASan and UBSan (clang-14, libFuzzer);
# a finding fails the run.
bash tools/fuzz.sh 60
