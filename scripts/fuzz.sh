#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer target with clang and runs it for a fixed time.
#   scripts/fuzz.sh [seconds (60)] [build dir (/work/build-fuzz or ./build-fuzz)]
# Prints, per target, the executions run and the crashes found; crash inputs are kept in
# <build dir>/fuzz-out/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
build=${2:-}
if [ -z "$build" ]; then
  if [ -d /work ]; then build=/work/build-fuzz; else build=build-fuzz; fi
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEP4_BUILD_FUZZ=ON -DZEP4_BUILD_TESTS=OFF -DZEP4_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build "$build" -j 2 --target fuzz_parafile >/dev/null || exit 1

export QT_QPA_PLATFORM=offscreen
# Qt's own allocations that live to the end are not the front end's leaks.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
for target in fuzz_parafile; do
  out="$build/fuzz-out/$target"
  work="$build/fuzz-corpus/$target"
  mkdir -p "$out" "$work"
  log="$out/run.log"
  # Fresh finds go to the work corpus; the seeds in the tree stay as they are.
  "$build/bin/$target" "$work" "tests/fuzz/corpus/${target#fuzz_}" \
    -max_total_time="$secs" -max_len=2048 -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$out/" -print_final_stats=1 >"$log" 2>&1
  rc=$?
  execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  crashes=$(find "$out" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  echo "$target: executions ${execs:-?}, crashes $crashes, exit $rc, ${secs} s"
  [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ] && status=1
done
exit $status
