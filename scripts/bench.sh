#!/usr/bin/env bash
# Builds a release build with the benchmarks and runs every benchmark program of bench/.
# Each program prints its Google Benchmark table, then its "ratio <name> <value>" lines.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VELQUORIN_BENCH_BUILD:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVELQUORIN_BENCH=ON -DVELQUORIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${VELQUORIN_JOBS:-$(nproc)}"

status=0
for program in "$build"/bench/*/bench_*; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" "$@" || status=1
done
exit $status
