#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs every libFuzzer target for SECONDS each (default 60), one after the other on one job at
# low priority, starting from the committed seed corpus (fuzz/corpus/<target>/). Inputs that
# reach new code are kept in build-fuzz/corpus/<target>/ (copy the worthwhile ones into
# fuzz/corpus/ by hand); a crash or a failed check is saved in build-fuzz/findings/<target>/
# and makes the script fail. Prints executions, executions per second, coverage (edges) and
# findings per target. Builds with clang (installed if missing) in build-fuzz/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_project_file fuzz_reply fuzz_frame_assembler fuzz_clock_text fuzz_telnet fuzz_page_store)

scripts/deps.sh || exit 1
missing=()
for p in clang libclang-rt-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}" || exit 1
fi

out=build-fuzz
if ! cmake -S . -B "$out" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCORVIX_FUZZ=ON >"$out.configure.log" 2>&1; then
    cat "$out.configure.log"
    exit 1
fi
nice -n 10 cmake --build "$out" --target "${targets[@]}" -- -j2 || exit 1

status=0
rows=()
for t in "${targets[@]}"; do
    mkdir -p "$out/corpus/$t" "$out/findings/$t"
    log="$out/$t.log"
    echo "=== $t: $seconds s ==="
    ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1} \
        nice -n 19 "$out/$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$out/findings/$t/" "$out/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
    rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -1)
    cov=$(sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+).*/\1 edges, \2 features/p' "$log" | tail -1)
    findings=$(find "$out/findings/$t" -type f | wc -l)
    if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ]; then
        status=1
        grep -E "ERROR|SUMMARY|==[0-9]+==" "$log" | head -20
    fi
    rows+=("$(printf '%-22s %12s %8s/s  %-28s %s' "$t" "${runs:-?}" "${rate:-?}" "${cov:-?}" "$findings finding(s)")")
done
echo
printf '%-22s %12s %10s  %-28s %s\n' target executions rate coverage findings
printf '%s\n' "${rows[@]}"
exit $status
