#!/usr/bin/env bash
# The velmora program against its peers (bench_host.cpp) on the same files in
# the same run: processor time of the whole process tree (user + system, the
# best of RUNS runs) and peak memory (the largest resident set of the tree),
# with the ratios.
#
#   open + save   a drawing of about 200,000 3DFACEs opened and saved, against
#                 a getline/from_chars/to_chars loop over the same file
#   main job      "velmora" on all points of a drawing of random POINTs
#                 (200,000; and 1,000,000, one run, for the peak), against
#                 CGAL's Delaunay_triangulation_2 reading and writing the same
#
#   bench/host.sh BUILD_DIR [scale]    scale 1 (default) as above; 0.1 for a look
set -euo pipefail
build=${1:?usage: bench/host.sh BUILD_DIR [scale]}
scale=${2:-1}
runs=${RUNS:-3}
velmora="$build/velmora"
peer="$build/bench/bench_host"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'velmora\nall\n\n' >"$work/tin.scr"

# One run of a command: "seconds peak_kb".
measure() {
    if ! /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >"$work/out.log" 2>&1; then
        cat "$work/out.log" >&2
        echo "bench/host.sh: failed: $*" >&2
        exit 1
    fi
    awk '{ printf "%.3f %d\n", $1 + $2, $3 }' "$work/time"
}

# The best time and the largest peak of N runs: "seconds peak_kb".
best_of() {
    local n=$1 t p best=1e30 peak=0
    shift
    for ((r = 0; r < n; r++)); do
        read -r t p < <(measure "$@")
        best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (b < a) ? b : a }')
        peak=$((p > peak ? p : peak))
    done
    echo "$best $peak"
}

count() { awk -v s="$scale" -v n="$1" 'BEGIN { printf "%d", n * s }'; }

# name, file, ours "t kb", peer "t kb"
report() {
    local size
    size=$(stat -c %s "$2")
    awk -v name="$1" -v size="$size" -v ours="$3" -v theirs="$4" 'BEGIN {
        split(ours, o, " "); split(theirs, p, " ")
        printf "%-30s input %6.1f MB  velmora %7.2f s peak %6.0f MB (%4.1f x input)  peer %6.2f s peak %5.0f MB  ratio %5.2f\n",
               name, size / 1e6, o[1], o[2] / 1024, o[2] * 1024 / size, p[1], p[2] / 1024, o[1] / p[1]
    }'
}

# open + save: the drawing is the peer's triangulation of random points.
"$peer" points "$(count 100000)" 1 "$work/p.dxf"
"$peer" tin "$work/p.dxf" "$work/faces.dxf"
faces=$(grep -c '^3DFACE$' "$work/faces.dxf")
ours=$(best_of "$runs" "$velmora" "$work/faces.dxf" -s /dev/null -o "$work/saved.dxf")
theirs=$(best_of "$runs" "$peer" loop "$work/faces.dxf" "$work/loop.dxf")
report "open + save, $faces faces" "$work/faces.dxf" "$ours" "$theirs"
cmp -s "$work/faces.dxf" "$work/saved.dxf" || echo "bench/host.sh: the saved drawing differs from the one opened" >&2

# The main job.
for n in 200000 1000000; do
    n=$(count $n)
    r=$runs
    [ "$n" -gt 500000 ] && r=1
    "$peer" points "$n" 2 "$work/p.dxf"
    ours=$(best_of "$r" "$velmora" "$work/p.dxf" -s "$work/tin.scr" -o "$work/tin.dxf")
    theirs=$(best_of "$r" "$peer" tin "$work/p.dxf" "$work/peer.dxf")
    report "main job, $n points ($r run)" "$work/p.dxf" "$ours" "$theirs"
done
