#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (build folder build-fuzz/, clang-14,
# libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer) and runs
# each for SECONDS (default 60), or only the TARGETs named (dxf, volume, ...).
#
#   bash tools/fuzz.sh [SECONDS] [TARGET...]
#
# A run starts from the seeds in fuzz/corpus/<target>/ and from what earlier
# runs on this machine kept in build-fuzz/corpus/<target>/ (outside the
# repository).  A finding (a crash, a sanitizer report, a broken property,
# a hang, a leak) stops that target and is saved in build-fuzz/findings/; the
# script then exits non-zero.  The last lines give each target's executions.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do
    name=$(basename "$f" .cpp)
    [ "$name" = fuzz_support ] || targets+=("${name#fuzz_}")
  done
fi

# A small quarantine: freed memory is reused sooner, which spares the page
# faults of always fresh memory (two to three times the executions); a
# use after free is still caught while the block waits in it.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16:malloc_context_size=8
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
summary=()
for t in "${targets[@]}"; do
  corpus=$root/build-fuzz/corpus/$t
  findings=$root/build-fuzz/findings/$t
  log=$root/build-fuzz/logs/$t.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  echo "== fuzz_$t for ${seconds}s"
  status=0
  "$root/build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
      -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    summary+=("fuzz_$t: FINDING after ${runs:-?} executions (log: $log)")
    grep -E "finding:|ERROR:|runtime error|SUMMARY:|Test unit written" "$log" | head -20 || true
  else
    summary+=("fuzz_$t: ${runs:-?} executions, no finding")
  fi
done
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
