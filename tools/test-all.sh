#!/usr/bin/env bash
# Builds and runs every test twice: a release build, then an AddressSanitizer
# + UndefinedBehaviorSanitizer build; then runs every fuzz target for a
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

# Every fuzz target for a minute under ASan and UBSan (clang-14, libFuzzer);
# a finding fails the run.
bash tools/fuzz.sh 60
