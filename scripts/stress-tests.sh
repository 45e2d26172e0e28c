#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the test suite again and again on a loaded machine, to catch tests that fail by chance
# (a time-out too tight, a name shared between parallel tests, an order assumed between
# threads). Not part of CI: a full pass takes a long time.
#
#   scripts/stress-tests.sh [RUNS]
#
# Builds the debug preset (build/) and the tsan preset (build-tsan/), starts
# `stress-ng --cpu 2 --io 1` for the whole time, runs the normal build's whole ctest RUNS times
# (default 20), alternating -j2 and -j4, then the ThreadSanitizer tests max(5, RUNS/4) times.
# Prints every test that failed with how often, and exits non-zero if any run failed.
# The logs of each run stay in build/stress-logs/.
#
# STRESS_NO_BUILD=1 runs the builds as they are; STRESS_CTEST_ARGS adds arguments to every
# ctest (for example "-LE ui" to leave the window tests out); STRESS_BUILD_DIR names another
# debug build folder than build/ (with STRESS_NO_BUILD).
set -uo pipefail
cd "$(dirname "$0")/.."

runs=${1:-20}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [RUNS]   (RUNS: a positive number, default 20)" >&2
    exit 2
fi
tsan_runs=$((runs / 4 > 5 ? runs / 4 : 5))

scripts/deps.sh || exit 1
if ! command -v stress-ng >/dev/null; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y stress-ng || exit 1
fi

# The same environment as scripts/test.sh.
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/tests/tsan.supp

read -ra extra <<<"${STRESS_CTEST_ARGS:-}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ -n "${STRESS_NO_BUILD:-}" ] || for preset in debug tsan; do
    echo "=== building $preset ==="
    if ! cmake --preset "$preset" -DCORVIX_WERROR=ON "${launcher[@]}" >/dev/null ||
        ! cmake --build --preset "$preset" -- -j2; then
        echo "$preset: build failed" >&2
        exit 1
    fi
done

normal_dir=${STRESS_BUILD_DIR:-build}
logs=$normal_dir/stress-logs
rm -rf "$logs"
mkdir -p "$logs"

stress-ng --cpu 2 --io 1 --timeout 0 >"$logs/stress-ng.log" 2>&1 &
stress_pid=$!
trap 'kill "$stress_pid" 2>/dev/null; wait "$stress_pid" 2>/dev/null' EXIT
echo "stress-ng running (pid $stress_pid)"

declare -A failures=()  # "suite<TAB>test" -> how many runs it failed in
declare -A bad_runs=([normal]=0 [tsan]=0)

# one_run SUITE N BUILD_DIR CTEST_ARGS...: one whole ctest, its failures counted.
one_run() {
    local suite=$1 n=$2 dir=$3
    shift 3
    local log="$logs/$suite-$n.log" failed_list="$dir/Testing/Temporary/LastTestsFailed.log"
    rm -f "$failed_list"  # ctest leaves the previous run's list when nothing fails
    local start=$SECONDS
    ctest "$@" --output-on-failure >"$log" 2>&1
    local rc=$?
    local names=()
    [ -f "$failed_list" ] && mapfile -t names < <(sed -E 's/^[0-9]+://' "$failed_list")
    # A ctest that fails without naming a test (it could not start, say) counts as well.
    [ "$rc" -ne 0 ] && [ ${#names[@]} -eq 0 ] && names=("(ctest exited with $rc, see $log)")
    for name in "${names[@]}"; do
        failures["$suite"$'\t'"$name"]=$((${failures["$suite"$'\t'"$name"]:-0} + 1))
    done
    [ ${#names[@]} -gt 0 ] && bad_runs[$suite]=$((bad_runs[$suite] + 1))
    printf '%-6s run %2d (%s): %s, %ds\n' "$suite" "$n" "$*" \
        "$([ ${#names[@]} -eq 0 ] && echo ok || echo "FAILED: ${names[*]}")" $((SECONDS - start))
}

for ((i = 1; i <= runs; i++)); do
    jobs=$((i % 2 ? 2 : 4))
    one_run normal "$i" "$normal_dir" --test-dir "$normal_dir" -j"$jobs" "${extra[@]}"
done
for ((i = 1; i <= tsan_runs; i++)); do
    one_run tsan "$i" build-tsan --preset tsan -j2 "${extra[@]}"
done

echo
echo "=== summary (load: stress-ng --cpu 2 --io 1) ==="
printf '%-8s %6s %12s\n' suite runs "failed runs"
printf '%-8s %6d %12d\n' normal "$runs" "${bad_runs[normal]}"
printf '%-8s %6d %12d\n' tsan "$tsan_runs" "${bad_runs[tsan]}"
if [ ${#failures[@]} -eq 0 ]; then
    echo "no test failed"
    exit 0
fi
echo
printf '%-8s %8s  %s\n' suite failures test
for key in "${!failures[@]}"; do
    printf '%-8s %8d  %s\n' "${key%%$'\t'*}" "${failures[$key]}" "${key#*$'\t'}"
done | sort -k2,2nr -k1,1
echo "logs: $logs/"
exit 1
