#!/usr/bin/env bash
# Builds the sanitized test build with warnings as errors and runs every test through CTest.
# Exits non-zero on any failure, a build that left no test to run included.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VELQUORIN_TEST_BUILD:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELQUORIN_SANITIZE=ON -DVELQUORIN_WERROR=ON -DVELQUORIN_TESTS=ON -DVELQUORIN_BENCH=ON >/dev/null
cmake --build "$build" -j"${VELQUORIN_JOBS:-$(nproc)}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"${VELQUORIN_JOBS:-$(nproc)}" --timeout 300
