#!/usr/bin/env bash
# Builds and runs every test: a normal build (all tests, the GUI ones headless), an
# AddressSanitizer + UndefinedBehaviorSanitizer build of all tests (the GUI ones headless too),
# and a ThreadSanitizer build of the link tests.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh || exit 1
export QT_QPA_PLATFORM=offscreen
# Sanitizer options only affect the sanitizer builds.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
status=0
passed=0
failed=0
run() {
    local name=$1 dir=$2; shift 2
    local cmake_args=() ctest_args=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do cmake_args+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    ctest_args=("$@")
    echo "=== $name ==="
    if ! cmake -S . -B "$dir" -G Ninja "${cmake_args[@]}" >"$dir.configure.log" 2>&1; then
        cat "$dir.configure.log"; echo "$name: configure failed"; status=1; return
    fi
    if ! cmake --build "$dir" -- -j2; then
        echo "$name: build failed"; status=1; return
    fi
    local log="$dir.ctest.log"
    ctest --test-dir "$dir" -j2 --output-on-failure "${ctest_args[@]}" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local summary total bad
    summary=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
    if [ -n "$summary" ]; then
        passed=$((passed + total - bad)); failed=$((failed + bad))
    fi
    if [ "$rc" -ne 0 ] || [ -z "$summary" ]; then
        echo "$name: tests failed"; status=1
    fi
}
mkdir -p build build-asan build-tsan
run "normal build" build -DCMAKE_BUILD_TYPE=Debug
run "address+undefined sanitizers" build-asan -DCMAKE_BUILD_TYPE=Debug -DCORVIX_SANITIZE=address
run "thread sanitizer (link)" build-tsan -DCMAKE_BUILD_TYPE=Debug -DCORVIX_GUI=OFF -DCORVIX_SANITIZE=thread -- -L link
if [ $status -eq 0 ]; then echo "All test runs passed."; else echo "Some test runs FAILED."; fi
echo "Tests: $passed passed, $failed failed"
exit $status
