#!/usr/bin/env bash
# The add-on's commands against their peers on the same inputs in the same
# run: processor time (user + system) of the whole process, the least of
# three runs each, and the ratio ours / peer.
#   vol       two stacked 100,000-face surfaces, at the default increment and
#             at one giving about 16 million nodes, against bench/vol_peer.py
#             (numpy: the same grid sampled, sorted and integrated)
#   surfcross (inters_ltri n n) on the triangle files of two 100,000-face
#             terrains, against bench_surfcross (CGAL box_intersection_d and
#             triangle intersections on the same files)
#   colfe     400,000 faces, against an open + save of the same drawing
#             (no command) by the velmora program itself
#   bench/addon.sh [build folder]     (default build-bench, built here)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j 2 --target velmora velmora_addon bench_surfcross > /dev/null
velmora=$root/$build/velmora
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# cpu COMMAND...: the least user + system seconds of three runs.
cpu() {
    local best=""
    for _ in 1 2 3; do
        [ -n "${before:-}" ] && eval "$before"
        /usr/bin/time -f "%U %S" -o t.txt "$@" > last.txt 2>&1 || { cat last.txt; exit 1; }
        best=$(awk -v b="$best" '{ t = $1 + $2; if (b == "" || t < b) b = t; print b }' t.txt)
    done
    echo "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# ---- vol ------------------------------------------------------------------
$py "$root/bench/addon_inputs.py" stacked stacked.dxf
for inc in default 0.112; do
    answer=$([ "$inc" = default ] && echo "" || echo "$inc")
    printf 'vol\n%s\nall\n\n' "$answer" > vol.scr
    ours=$(cpu "$velmora" stacked.dxf -s vol.scr --drive-c .)
    said=$(tr '\r' '\n' < last.txt | grep -E "Volume:|sorting" | tr -s ' ' | tr '\n' ' ')
    peer=$(cpu $py "$root/bench/vol_peer.py" stacked.dxf "$([ "$inc" = default ] && echo 0 || echo "$inc")")
    echo "vol, two stacked 100,000-face surfaces, increment $inc: ours $ours s ($said)" \
         " numpy $peer s ($(cat last.txt))  ours/numpy $(ratio "$ours" "$peer")"
done

# ---- surfcross ------------------------------------------------------------
mkdir -p keep
read -r n1 n2 < <("$root/$build/bench/bench_surfcross" write keep)
echo "(inters_ltri $n1 $n2)" > cross.scr
before='rm -rf haldorin && cp -r keep haldorin'
ours=$(cpu "$velmora" -s cross.scr --drive-c .)
said=$(tr '\r' '\n' < last.txt | grep "3DINT")
peer=$(cpu "$root/$build/bench/bench_surfcross" peer keep "$n1" "$n2")
echo "surfcross, $n1 + $n2 triangles: ours $ours s ($said)  CGAL $peer s ($(cat last.txt))" \
     " ours/CGAL $(ratio "$ours" "$peer")"
before=""

# ---- colfe ----------------------------------------------------------------
$py "$root/bench/addon_inputs.py" terrain terrain.dxf
printf '\n' > none.scr
printf "(colfe '(300.0 320.0) '(10 20 30) '(40 50 60) '(70 80 90) '(110 130 150) '(170 190 210))\nall\n\n" > colfe.scr
ours=$(cpu "$velmora" terrain.dxf -s colfe.scr --drive-c . -o out.dxf)
peer=$(cpu "$velmora" terrain.dxf -s none.scr --drive-c . -o out.dxf)
echo "colfe, 400,000 faces: ours $ours s  open + save of the drawing $peer s  ratio $(ratio "$ours" "$peer")"
