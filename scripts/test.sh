#!/usr/bin/env bash
# Builds the sanitized test build with warnings as errors and runs every test through CTest,
# then every test program whole.
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

# The programs that CTest runs as the operator account (under CI, VELQUORIN_TEST_OPERATOR) run
# whole through the same launcher.
export as_operator="$PWD/tests/support/as_operator.sh"
export operator_programs="$build/tests/operator_test_programs"

# CTest runs each test in a process of its own, which hides whatever one test leaves behind for
# the next; so each test program also runs whole, in one process, as a developer runs it. The
# programs that start the stand-in layout designer bound the time its start-up and restart take,
# so they run one after the other, after the rest.
run_whole() {
  log="$1.whole.log"
  launcher=()
  if grep -q "/$(basename "$1")\$" "$operator_programs"; then
    launcher=("$as_operator")
  fi
  if "${launcher[@]}" "$1" >"$log" 2>&1; then
    echo "whole run passed: $1"
  else
    tail -n 200 "$log"
    echo "whole run FAILED: $1 (log: $log)"
    return 1
  fi
}
export -f run_whole
designer_programs='velquorin_maintenance_tests|velquorin_app_designer_tests'
find "$build/tests" -name 'velquorin_*_tests' -type f -perm -u+x | sort |
  grep -Ev "/($designer_programs)\$" |
  xargs -P "${VELQUORIN_JOBS:-$(nproc)}" -I{} bash -c 'run_whole "$1"' _ {}
for program in $(find "$build/tests" -name 'velquorin_*_tests' -type f -perm -u+x | sort |
                 grep -E "/($designer_programs)\$"); do
  run_whole "$program"
done
