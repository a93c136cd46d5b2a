#!/usr/bin/env bash
# The main job: builds velmora (release) and triangulates the bundled survey
# of the Jacksboro fault: its 3000 survey points become a terrain of 3DFACEs on
# layer TRIANG, inside the colour-1 outline and outside the two voids.
# Writes out/jacksboro_tin.dxf and a picture out/jacksboro_tin.png.
# BUILD_DIR names another build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target velmora velmora_addon >/dev/null
mkdir -p out
log=out/jacksboro_tin.log
"$build"/velmora samples/jacksboro_survey.dxf -s samples/jacksboro_tin.scr \
    -o out/jacksboro_tin.dxf --png out/jacksboro_tin.png >"$log" 2>&1 || {
    cat "$log" >&2
    echo "run-sample: velmora failed (log above)" >&2
    exit 1
}
if grep -q "Error" "$log"; then
    cat "$log" >&2
    echo "run-sample: the triangulation reported an error (log above)" >&2
    exit 1
fi
summary=$(grep -o 'points number= *[0-9]* ; triangles number= *[0-9]*' "$log" | tail -1)
faces=$(grep -c '^3DFACE$' out/jacksboro_tin.dxf || true)
echo "run-sample: ${summary:-no summary}; ${faces} faces on TRIANG in out/jacksboro_tin.dxf, picture out/jacksboro_tin.png"
