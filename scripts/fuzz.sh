#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset, clang) and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# The committed seeds in fuzz/corpus/<target>/ are read, never written: new inputs go to
# <build>/corpus/<target>/, and a crashing input to <build>/artifacts/. Exits non-zero when
# any target finds a crash, a leak, a time-out or a broken invariant.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_inbound fuzz_tocd)

# RIVIR_FUZZ_BUILD puts the build elsewhere, with the preset's settings.
build=${RIVIR_FUZZ_BUILD:-build/fuzz}
if [ -n "${RIVIR_FUZZ_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DRIVIR_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
else
    cmake --preset fuzz >/dev/null
fi
cmake --build "$build" --target "${targets[@]}"

mkdir -p "$build/artifacts"
# Targets run two at a time by default (FUZZ_JOBS), one worker each: the machine has two cores.
jobs=${FUZZ_JOBS:-2}
run_target() {
    local target=$1 name=${1#fuzz_}
    local work="$build/corpus/$name" log="$build/$1.log"
    mkdir -p "$work"
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$work" "fuzz/corpus/$name" >"$log" 2>&1
    echo $? >"$build/$target.status"
}

status=0
pids=()
for target in "${targets[@]}"; do
    echo "== $target: ${seconds}s"
    run_target "$target" &
    pids+=("$!")
    if [ ${#pids[@]} -ge "$jobs" ]; then
        wait "${pids[0]}" || true
        pids=("${pids[@]:1}")
    fi
done
wait || true

summary=()
for target in "${targets[@]}"; do
    log="$build/$target.log"
    if [ "$(cat "$build/$target.status" 2>/dev/null)" != 0 ] || grep -qE "ERROR: libFuzzer|ERROR: AddressSanitizer|runtime error" "$log"; then
        echo "$target FAILED; the input is in $build/artifacts/, the log in $log:" >&2
        grep -E "ERROR|SUMMARY|differ|abort|Test unit written" "$log" >&2 || tail -20 "$log" >&2
        status=1
    fi
    done_line=$(grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1 || true)
    execs=$(grep -E "^stat::number_of_executed_units" "$log" | awk '{print $2}' || true)
    summary+=("$(printf '%-16s executions %-10s %s' "$target" "${execs:-?}" "${done_line#*DONE }")")
done

echo
echo "fuzz summary (${seconds}s per target):"
printf '  %s\n' "${summary[@]}"
exit $status
